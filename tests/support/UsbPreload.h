// Simulated USB devices only exist for processes running under umockdev's preload library.
#pragma once

namespace UsbPreload {

// Whether this process runs under the preload library (checked on LD_PRELOAD, not through
// umockdev_in_mock_environment, which caches its first answer).
bool IsActive();

// Replaces the process with itself under "umockdev-wrapper" unless the preload is active already.
// Programs that link the harness do this before main, so plain ctest runs work; returns only when
// no re-exec happened (the preload is active, or a re-exec was tried once and did not help).
void ReexecUnderWrapper();

} // namespace UsbPreload
