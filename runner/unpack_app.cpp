#include "runner/unpack_app.h"

#include <cstring>

int32_t elevation_requests = 0;

PackageExtractor package_extractor;

UnpackApp::UnpackApp()
    : progress_bar(nullptr),
      worker_lock(nullptr),
      destination{},
      install_mode(1),
      is_relaunch(0),
      cancelled(0),
      worker_failed(0),
      worker_succeeded(0) {
    std::memset(destination, 0, sizeof destination);
}
