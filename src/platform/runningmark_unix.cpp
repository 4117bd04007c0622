#include "runningmark.h"

RunningMark::RunningMark() = default;

RunningMark::~RunningMark() = default;
