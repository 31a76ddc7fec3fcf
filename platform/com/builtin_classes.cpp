// The classes the platform itself provides, creatable in every process that uses
// the component runtime, whether or not anything is registered in the hive.
#include "cdosys.h"
#include "class_table.h"
#include "message.h"

namespace platform::com {

std::span<const BuiltinClass> BuiltinClasses() {
    static const BuiltinClass classes[] = {
        {CLSID_Message, platform::cdo::MessageClassFactory},
    };
    return classes;
}

}  // namespace platform::com
