// The baselines for the milter throughput comparison: a libmilter filter that
// accepts every message at its end. By default it asks for nothing else; with -e it
// takes in the envelope and the header fields as pellicor-milter does (the same
// protocol steps, without replies) and ignores them, which shows what receiving
// them costs apart from judging the message.
// Usage: nothing-milter -p SOCKET [-e] [-f]   (-f accepted for symmetry; always foreground)
#include <cstdio>
#include <cstring>
#include <sys/stat.h>

#include <libmilter/mfapi.h>

namespace {

sfsistat OnEndOfMessage(SMFICTX*) { return SMFIS_ACCEPT; }

sfsistat NoReply(SMFICTX*, char**) { return SMFIS_NOREPLY; }
sfsistat NoReplyToHeader(SMFICTX*, char*, char*) { return SMFIS_NOREPLY; }

sfsistat OnNegotiate(SMFICTX*, unsigned long, unsigned long offeredSteps, unsigned long, unsigned long,
                     unsigned long* actions, unsigned long* steps, unsigned long*, unsigned long*) {
    unsigned long wanted = SMFIP_NOCONNECT | SMFIP_NOHELO | SMFIP_NOUNKNOWN | SMFIP_NODATA | SMFIP_NOEOH |
                           SMFIP_NOBODY | SMFIP_NR_MAIL | SMFIP_NR_RCPT | SMFIP_NR_HDR;
    *actions = 0;
    *steps = wanted & offeredSteps;
    return SMFIS_CONTINUE;
}

}  // namespace

int main(int argc, char* argv[]) {
    const char* socket = nullptr;
    bool envelope = false;
    for (int i = 1; i < argc; ++i) {
        if (strcmp(argv[i], "-p") == 0 && i + 1 < argc) socket = argv[++i];
        else if (strcmp(argv[i], "-e") == 0) envelope = true;
        else if (strcmp(argv[i], "-f") != 0) socket = nullptr, i = argc;
    }
    if (!socket) {
        fprintf(stderr, "nothing-milter: usage: nothing-milter -p SOCKET [-e] [-f]\n");
        return 2;
    }
    smfiDesc description{};
    description.xxfi_name = const_cast<char*>("nothing-milter");
    description.xxfi_version = SMFI_VERSION;
    description.xxfi_eom = OnEndOfMessage;
    if (envelope) {
        description.xxfi_negotiate = OnNegotiate;
        description.xxfi_envfrom = NoReply;
        description.xxfi_envrcpt = NoReply;
        description.xxfi_header = NoReplyToHeader;
    }
    umask(0);  // any local user may connect: a benchmark, not a service
    if (smfi_register(description) != MI_SUCCESS || smfi_setconn(const_cast<char*>(socket)) != MI_SUCCESS ||
        smfi_opensocket(true) != MI_SUCCESS) {
        fprintf(stderr, "nothing-milter: cannot listen on %s\n", socket);
        return 1;
    }
    return smfi_main() == MI_SUCCESS ? 0 : 1;
}
