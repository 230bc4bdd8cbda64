// Compiled once for each pair below, in a layer that must not see the header:
// the build of each target is expected to fail for want of that header.
#include LAYER_HEADER
