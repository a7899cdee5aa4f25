#pragma once

#include "Result.h"

// The outcome of a camera list operation: a value, or a Failure (kind File)
// whose text names the file and the reason, to show the user. A failed
// operation never leaves the file half-written.
template <typename T>
using CamListResult = Result<T>;
