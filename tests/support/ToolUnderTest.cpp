#include "support/ToolUnderTest.h"

#ifndef RAVELIN_TOOL_PATH
#error "RAVELIN_TOOL_PATH must name the update tool"
#endif
#ifndef RAVELIN_QUICKBOOT_TOOL_PATH
#error "RAVELIN_QUICKBOOT_TOOL_PATH must name the quick-boot build of the update tool"
#endif

std::string toolPath(ToolBuild build)
{
    return build == ToolBuild::RealTiming ? RAVELIN_TOOL_PATH : RAVELIN_QUICKBOOT_TOOL_PATH;
}

Environment comFolder(const std::string &comDir) { return {{"RAVELIN_COM_DIR", comDir}}; }

Environment deviceFolder(const std::string &deviceDir)
{
    return {{"RAVELIN_DEV_DIR", deviceDir}, {"RAVELIN_COM_DIR", ""}};
}
