// Holds every registry read made on this thread to one committed state of the hive
// while it lives: a host holds one around each message event, so the rule lists a
// sink reads one after another come from the same version even when another
// process commits in between. The state is taken at the first read inside the
// scope, so whatever was committed before that is seen. Scopes nest; the outermost
// one ends the reads.
#pragma once

namespace platform::registry {

class ReadScope {
public:
    ReadScope();
    ~ReadScope();
    ReadScope(const ReadScope&) = delete;
    ReadScope& operator=(const ReadScope&) = delete;
};

}  // namespace platform::registry
