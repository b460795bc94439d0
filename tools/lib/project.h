// A medium's project file (TOML): everything `medium build` needs, in one
// place instead of a dozen flags. Paths in it are relative to the file.
//
//   script = "SETUP.INS"
//   out = "medium"
//   strict = true                   # warnings fail the build
//   [payloads]
//   bootstrap = "bootstrap.exe"
//   engine = "engine.exe"
//   companion = "companion.dat"
//   [library]
//   description = "library.txt"     # or: file = "_SETUP.DLL"
//   [define]
//   product = "Example"             # ${product} in [version-info] and the description
//   [version-info]
//   ProductName = "${product}"
//   [sign]
//   command = "osslsigncode sign -pkcs12 {pfx} -readpass {passfile} -in {in} -out {out}"
//   pfx = "signing/example.pfx"
//   passfile = "signing/pass.txt"
//   ca = "signing/root.pem"           # the gate checks the chain
//   payloads = true                   # sign the programs inside and _SETUP.DLL too
#pragma once

#include <stdint.h>

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace tk {

struct Project {
    std::string file;                 // the project file, as given
    std::string dir;                  // its folder ("." for a bare name)
    // Paths, already joined to `dir` unless absolute; empty when not given.
    std::string payload[3];           // bootstrap, engine, companion
    std::string script;
    std::string libraryDescription;   // built into _SETUP.DLL by the build
    std::string library;              // a ready _SETUP.DLL
    std::string outDir;
    std::string stub;
    std::string icon;
    std::string level;                // execution level, as written
    uint32_t pieceSize = 0;           // 0: not given
    bool strict = false;              // every warning fails the build
    std::vector<std::pair<std::string, std::string>> versionInfo;  // in file order, ${NAME}s replaced
    // [define]: NAME = "value", in file order. Only a project that has the
    // table gets its library description expanded, so that descriptions
    // written before keep their "${" as it is.
    std::vector<std::pair<std::string, std::string>> defines;
    bool hasDefines = false;
    // The sign step: argument words with {NAME} placeholders (from a string
    // split like a shell's words, or a TOML array taken as it is), and the
    // values of the user's own placeholders. {in} and {out} are the build's.
    std::vector<std::string> signCommand;
    std::vector<std::pair<std::string, std::string>> signValues;
    // [sign] ca: PEM roots the signed setup.exe must chain to at the build's
    // gate (joined to `dir`); empty: the gate does not check the chain.
    std::string signCa;
    // [sign] payloads = true: the same command signs the bootstrap, the
    // engine, the companion when it is a program, and _SETUP.DLL before they
    // are packed or copied.
    bool signPayloads = false;
    // Where each key's value stood, by its dotted name ("piece-size",
    // "payloads.engine", "sign.command"), so that the build reports a fault
    // in a value at its line.
    struct KeyPlace {
        std::string key;
        uint32_t line = 0, column = 0;
    };
    std::vector<KeyPlace> places;
};

// "PATH:LINE:COLUMN" of `key` in the project, or the project's path when the
// key was not in it.
std::string PlaceOf(const Project &project, const std::string &key);
// The place of `key`'s value; null when the key was not in the project.
const Project::KeyPlace *FindPlace(const Project &project, const std::string &key);

// Parses `text`, the contents of the project file `path` (used in messages
// and to resolve relative paths). False with `errors` holding one line per
// fault, "PATH:LINE:COLUMN: what is wrong; what to do"; a TOML syntax error
// is one line (the parser stops there), otherwise every key is checked.
// Unknown keys and tables are refused, naming the closest known one.
bool ParseProject(std::string_view text, const std::string &path, Project *project,
                  std::vector<std::string> *errors);

// Splits a command template into words as a POSIX shell would without
// expanding anything: blanks separate words; '...' keeps everything
// literally; "..." keeps everything but \" and \\; a backslash outside quotes
// keeps the next character. False with `error` for an unclosed quote or an
// empty command.
bool SplitCommand(const std::string &text, std::vector<std::string> *words, std::string *error);

// Fills the placeholders of `words`: "{NAME}" becomes the value of NAME in
// `values` (inside a word too: "-out={out}"), "{{" and "}}" are braces. No
// value is split or interpreted, so a path with blanks or quotes stays one
// argument. False with `error` naming an unknown placeholder (and the
// closest known one) or an unclosed brace.
bool ExpandCommand(const std::vector<std::string> &words,
                   const std::vector<std::pair<std::string, std::string>> &values, std::vector<std::string> *argv,
                   std::string *error);

}  // namespace tk
