#include "tools/lib/manifest.h"

#include <string.h>

#include <expat.h>

namespace tk {
namespace {

// expat joins a namespace URI and a local name with this character.
constexpr char kNsSeparator = '|';
const char kAsmV1[] = "urn:schemas-microsoft-com:asm.v1";
const char kAsmV2[] = "urn:schemas-microsoft-com:asm.v2";
const char kAsmV3[] = "urn:schemas-microsoft-com:asm.v3";

const char *const kLevels[] = {"asInvoker", "highestAvailable", "requireAdministrator"};

struct Walk {
    XML_Parser parser = nullptr;
    ManifestInfo *out = nullptr;
    Problems *problems = nullptr;
    int depth = 0;
    int elements = 0;
    int levels = 0;
    bool stopped = false;
    std::string stopReason;
};

std::string Where(XML_Parser p)
{
    return "line " + std::to_string(XML_GetCurrentLineNumber(p)) + ", column " +
           std::to_string(XML_GetCurrentColumnNumber(p) + 1);
}

void Stop(Walk *w, const std::string &why)
{
    if (w->stopped)
        return;
    w->stopped = true;
    w->stopReason = why + " (" + Where(w->parser) + ")";
    XML_StopParser(w->parser, XML_FALSE);
}

// Splits expat's "uri|local" name.
void SplitName(const char *name, std::string *ns, std::string *local)
{
    const char *bar = strchr(name, kNsSeparator);
    if (!bar) {
        ns->clear();
        *local = name;
        return;
    }
    ns->assign(name, (size_t)(bar - name));
    *local = bar + 1;
}

const char *Attribute(const char **attrs, const char *name)
{
    for (int i = 0; attrs[i] && attrs[i + 1]; i += 2)
        if (strcmp(attrs[i], name) == 0)
            return attrs[i + 1];
    return nullptr;
}

void OnStart(void *data, const char *name, const char **attrs)
{
    Walk *w = static_cast<Walk *>(data);
    if (++w->depth > kMaxManifestDepth) {
        Stop(w, "elements nested deeper than " + std::to_string(kMaxManifestDepth));
        return;
    }
    if (++w->elements > kMaxManifestElements) {
        Stop(w, "more than " + std::to_string(kMaxManifestElements) + " elements");
        return;
    }
    std::string ns, local;
    SplitName(name, &ns, &local);
    if (w->depth == 1) {
        const char *version = Attribute(attrs, "manifestVersion");
        if (ns != kAsmV1 || local != "assembly")
            AddError(w->problems, "the manifest's root element is not an assembly of " + std::string(kAsmV1) +
                                      " (" + Where(w->parser) + "); the platform refuses to start the program");
        else if (!version || strcmp(version, "1.0") != 0)
            AddError(w->problems, "the manifest's assembly has manifestVersion \"" +
                                      std::string(version ? version : "") + "\" where \"1.0\" is required (" +
                                      Where(w->parser) + ")");
    }
    if (local != "requestedExecutionLevel" || (ns != kAsmV2 && ns != kAsmV3))
        return;
    if (++w->levels > 1) {
        AddError(w->problems, "the manifest requests an execution level twice (" + Where(w->parser) +
                                  "); the platform refuses to start the program");
        return;
    }
    const char *level = Attribute(attrs, "level");
    const char *ui = Attribute(attrs, "uiAccess");
    w->out->executionLevel = level ? level : "";
    w->out->uiAccess = ui ? ui : "";
    bool known = false;
    for (const char *k : kLevels)
        known = known || (level && strcmp(level, k) == 0);
    if (!known)
        AddError(w->problems, "the manifest's requestedExecutionLevel has level \"" + w->out->executionLevel +
                                  "\" (" + Where(w->parser) +
                                  "); use asInvoker, highestAvailable or requireAdministrator");
    if (ui && strcmp(ui, "true") != 0 && strcmp(ui, "false") != 0)
        AddError(w->problems, "the manifest's requestedExecutionLevel has uiAccess \"" + w->out->uiAccess + "\" (" +
                                  Where(w->parser) + "); use true or false");
}

void OnEnd(void *data, const char *)
{
    static_cast<Walk *>(data)->depth--;
}

// A document type could declare entities that expand without bound; the
// platform's manifests never have one.
void OnDoctype(void *data, const char *, const char *, const char *, int)
{
    Stop(static_cast<Walk *>(data), "a document type declaration, which a manifest must not have");
}

void OnEntity(void *data, const char *, int, const char *, int, const char *, const char *, const char *,
              const char *)
{
    Stop(static_cast<Walk *>(data), "an entity declaration, which a manifest must not have");
}

}  // namespace

void CheckManifest(const uint8_t *data, size_t size, ManifestInfo *out, Problems *problems)
{
    *out = ManifestInfo();
    if (size > kMaxManifestBytes) {
        AddError(problems, "the manifest holds " + std::to_string(size) + " bytes, more than the " +
                               std::to_string(kMaxManifestBytes) + " read");
        return;
    }
    XML_Parser p = XML_ParserCreateNS(nullptr, kNsSeparator);
    if (!p) {
        AddError(problems, "cannot check the manifest (out of memory)");
        return;
    }
    Walk w;
    w.parser = p;
    w.out = out;
    w.problems = problems;
    XML_SetUserData(p, &w);
    XML_SetElementHandler(p, OnStart, OnEnd);
    XML_SetStartDoctypeDeclHandler(p, OnDoctype);
    XML_SetEntityDeclHandler(p, OnEntity);
    XML_SetParamEntityParsing(p, XML_PARAM_ENTITY_PARSING_NEVER);
    XML_Status st = XML_Parse(p, reinterpret_cast<const char *>(data), (int)size, XML_TRUE);
    if (w.stopped) {
        AddError(problems, "the manifest holds " + w.stopReason + "; the platform refuses to start the program");
    } else if (st != XML_STATUS_OK) {
        AddError(problems, std::string("the manifest is not well-formed XML: ") + XML_ErrorString(XML_GetErrorCode(p)) +
                               " (" + Where(p) + "); the platform refuses to start the program");
    } else {
        out->wellFormed = true;
        if (w.levels == 0)
            AddWarning(problems, "the manifest requests no execution level; the platform then guesses from the "
                                 "file name whether to ask for administrator rights");
    }
    XML_ParserFree(p);
}

}  // namespace tk
