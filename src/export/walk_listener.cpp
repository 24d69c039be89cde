#include "export/walk_listener.h"

namespace exporter {
namespace {
WalkListener* gListener = nullptr;
}  // namespace

void SetWalkListener(WalkListener* listener) { gListener = listener; }
WalkListener* CurrentWalkListener() { return gListener; }

}  // namespace exporter
