// What the Linux layer makes of the errors the system gives.
#pragma once

namespace serial_os {

// True for the errors that mean a check could not be finished for want of the system's resources
// (descriptors, memory, file space, quota, buffers), not for anything found: the answer is then
// "no", as a resource limit, and never taken for a missing device or a free one.
bool OutOfResources(int error);

} // namespace serial_os
