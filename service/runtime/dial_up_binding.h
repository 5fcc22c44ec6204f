// The binding to the system's dial-up lines: bound at the start of the
// scheduler loop, unbound at its end. Without the binding every enumeration fails.
#pragma once

#include <vector>

#include "platform/dial_up_lines.h"

namespace ferry {

void LoadRasBinding();
void FreeRasBinding();

// The active lines (at most kMaxDialUpLines) and the count the system reported;
// 0 on success, nonzero on failure.
int EnumerateActiveLines(std::vector<DialUpLine>* lines, int* count);

}  // namespace ferry
