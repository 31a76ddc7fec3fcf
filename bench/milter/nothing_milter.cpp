// The baseline for the milter throughput comparison: a libmilter filter that
// accepts every message at its end and asks for nothing else.
// Usage: nothing-milter -p SOCKET [-f]   (-f accepted for symmetry; always foreground)
#include <cstdio>
#include <cstring>
#include <sys/stat.h>

#include <libmilter/mfapi.h>

namespace {

sfsistat OnEndOfMessage(SMFICTX*) { return SMFIS_ACCEPT; }

}  // namespace

int main(int argc, char* argv[]) {
    const char* socket = nullptr;
    for (int i = 1; i < argc; ++i) {
        if (strcmp(argv[i], "-p") == 0 && i + 1 < argc) socket = argv[++i];
        else if (strcmp(argv[i], "-f") != 0) socket = nullptr, i = argc;
    }
    if (!socket) {
        fprintf(stderr, "nothing-milter: usage: nothing-milter -p SOCKET [-f]\n");
        return 2;
    }
    smfiDesc description{};
    description.xxfi_name = const_cast<char*>("nothing-milter");
    description.xxfi_version = SMFI_VERSION;
    description.xxfi_eom = OnEndOfMessage;
    umask(0);  // any local user may connect: a benchmark, not a service
    if (smfi_register(description) != MI_SUCCESS || smfi_setconn(const_cast<char*>(socket)) != MI_SUCCESS ||
        smfi_opensocket(true) != MI_SUCCESS) {
        fprintf(stderr, "nothing-milter: cannot listen on %s\n", socket);
        return 1;
    }
    return smfi_main() == MI_SUCCESS ? 0 : 1;
}
