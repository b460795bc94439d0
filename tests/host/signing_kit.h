// Test certificates and osslsigncode for the host tests: a root, a code
// signing certificate it issued, a second one with the same issuer, serial
// and subject but another key, a timestamp authority, and an unrelated
// root; for attacks, a certificate of the root for servers only, one for code
// signing that expired in 2021, a self-signed "time-stamp authority" and a
// self-signed code-signing certificate. Made once per test run with the openssl command in a scratch
// folder, removed when the run ends.
#pragma once

#include <stdio.h>
#include <stdlib.h>

#include <string>

struct SigningKit {
    bool ready = false;
    std::string dir;
    std::string Path(const std::string &name) const { return dir + "/" + name; }
};

namespace signing_kit_detail {
inline std::string &DirToRemove()
{
    static std::string dir;
    return dir;
}
inline void Remove()
{
    if (!DirToRemove().empty()) {
        std::string cmd = "rm -rf '" + DirToRemove() + "'";
        if (system(cmd.c_str()) != 0)
            fprintf(stderr, "could not remove %s\n", DirToRemove().c_str());
    }
}
}  // namespace signing_kit_detail

inline const SigningKit &TestSigningKit()
{
    static SigningKit kit = [] {
        SigningKit k;
        char tmpl[] = "/tmp/signing-kit-XXXXXX";
        if (!mkdtemp(tmpl))
            return k;
        k.dir = tmpl;
        signing_kit_detail::DirToRemove() = k.dir;
        atexit(signing_kit_detail::Remove);
        const std::string script =
            "set -e; cd '" + k.dir + "'\n"
            "printf 'extendedKeyUsage=codeSigning\\n' > cs.ext\n"
            "printf 'extendedKeyUsage=critical,timeStamping\\n' > ts.ext\n"
            "root() { openssl req -x509 -newkey rsa:2048 -nodes -keyout $1.key -out $1.pem -days 3650 -subj \"$2\"; }\n"
            "leaf() { openssl req -newkey rsa:2048 -nodes -keyout $1.key -out $1.csr -subj \"$2\";"
            " openssl x509 -req -in $1.csr -CA ca.pem -CAkey ca.key -set_serial $3 -days 3650 -extfile $4"
            " -out $1.pem; openssl x509 -in $1.pem -outform DER -out $1.der; }\n"
            "root ca '/CN=Corvane Test Root'\n"
            "root stranger '/CN=Corvane Stranger Root'\n"
            "leaf signer '/CN=Corvane Test Signer/O=Corvane' 2 cs.ext\n"
            "leaf other '/CN=Corvane Test Signer/O=Corvane' 2 cs.ext\n"
            "leaf tsa '/CN=Corvane Test TSA' 3 ts.ext\n"
            "cat tsa.pem ca.pem > tsa-chain.pem\n"
            "printf 'extendedKeyUsage=serverAuth\\n' > sa.ext\n"
            "leaf server '/CN=Corvane Test Server' 4 sa.ext\n"
            "openssl req -x509 -newkey rsa:2048 -nodes -keyout faketsa.key -out faketsa.pem -days 3650"
            " -subj '/CN=Corvane Fake TSA' -addext extendedKeyUsage=critical,timeStamping\n"
            "openssl req -x509 -newkey rsa:2048 -nodes -keyout selfsigned.key -out selfsigned.pem -days 3650"
            " -subj '/CN=Corvane Self-Signed' -addext extendedKeyUsage=codeSigning\n"
            // openssl x509 cannot date a certificate in the past; openssl ca can.
            "mkdir db; : > db/index.txt; echo 05 > db/serial\n"
            "printf '[ca]\\ndefault_ca=d\\n[d]\\ndatabase=db/index.txt\\nnew_certs_dir=db\\nserial=db/serial\\n"
            "default_md=sha256\\npolicy=p\\nunique_subject=no\\n[p]\\ncommonName=supplied\\n' > ca.cnf\n"
            "openssl req -newkey rsa:2048 -nodes -keyout expired.key -out expired.csr -subj '/CN=Corvane Expired Signer'\n"
            "openssl ca -batch -config ca.cnf -cert ca.pem -keyfile ca.key -startdate 20200101000000Z"
            " -enddate 20210101000000Z -extfile cs.ext -in expired.csr -out expired.pem -notext\n";
        FILE *f = fopen((k.dir + "/kit.sh").c_str(), "w");
        if (!f)
            return k;
        fputs(script.c_str(), f);
        fclose(f);
        std::string run = "sh '" + k.dir + "/kit.sh' >'" + k.dir + "/kit.log' 2>&1";
        k.ready = system(run.c_str()) == 0;
        return k;
    }();
    return kit;
}

// Signs `in` into `out` with the kit's certificate `signer` (SHA-256), and
// with an RFC 3161 timestamp from the kit's authority when `timestamp`. True when osslsigncode
// succeeded.
inline bool SignWithKit(const SigningKit &k, const std::string &in, const std::string &out, bool timestamp,
                        const std::string &signer = "signer")
{
    std::string cmd = "osslsigncode sign -h sha256 -certs '" + k.Path(signer + ".pem") + "' -key '" +
                      k.Path(signer + ".key") + "'";
    if (timestamp)
        cmd += " -TSA-certs '" + k.Path("tsa-chain.pem") + "' -TSA-key '" + k.Path("tsa.key") + "'";
    cmd += " -in '" + in + "' -out '" + out + "' >>'" + k.Path("sign.log") + "' 2>&1";
    remove(out.c_str());
    return system(cmd.c_str()) == 0;
}
