// Base of the objects behind a platform HANDLE; CloseHandle deletes them.
#pragma once

namespace platform {

class KernelObject {
public:
    virtual ~KernelObject() = default;
};

}  // namespace platform
