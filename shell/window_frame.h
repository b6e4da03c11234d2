// The frame of a Win32 overlapped window on a standard desktop, which every
// backend uses to turn the programs' outer window rectangle into a client area
// and back: the client area starts this far right of and below the outer
// top-left corner and is this much smaller than the outer size (a 500 x 500
// window has a 484 x 461 client area). Headless runs, captures and the browser
// page land on the same client pixels everywhere because of it.
#pragma once

constexpr int kFrameLeft = 8;
constexpr int kFrameTop = 31;
constexpr int kFrameExtraWidth = 16;
constexpr int kFrameExtraHeight = 39;
