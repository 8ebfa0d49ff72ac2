#pragma once
// Stack resources: the chunks of the open stack that records refer to by type and id
// (action lists, icons, sounds, links, plug-in settings, the workspace, the font list).
#include <cstdint>
#include <string>

#include "core/handles.h"

namespace cv {

enum : uint32_t {
    kResPerform = 0x1,
    kResReplace = 0x2,
    kResNameOnly = 0x4,
    kResCopyKeepFlags = 0x8,
};

struct ResourceRequest {
    uint32_t type = 0;
    uint16_t id = 0;
    uint32_t attributes = 0;
    Handle data = 0;
    uint32_t flags = 0;
    uint8_t name[32] = {};
};

// 1 on success, 0 on failure (see the steps in the implementation).
int AddStackResource(ResourceRequest& req);
// 0, or -1 when absent or out of memory. The request gets a private copy of the data.
int GetStackResource(ResourceRequest& req, uint32_t type, uint16_t id);
int StackResourceIndex(uint32_t type, uint16_t id);
uint16_t StackResourceIdAt(uint32_t type, int index);
uint16_t StackResourceIdNamed(uint32_t type, const std::string& name);
std::string StackResourceName(uint32_t type, uint16_t id);
// Removes resources nothing refers to (unless the stack keeps them).
void PurgeUnusedResources();

// Whether errors while adding resources are reported (on by default).
void SetResourceErrorReporting(bool on);

} // namespace cv
