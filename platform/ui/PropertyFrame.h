#pragma once
// The property frame: OleCreatePropertyFrame (declared with the capture interfaces in
// platform/dshow/CaptureInterfaces.h) shows a modal dialog "<caption> Properties" with one tab per
// page class and OK, Cancel and Apply. Each page is made by class id, given the objects and
// activated into its tab's native window (the X window id of the tab's widget).
#include "platform/dshow/CaptureInterfaces.h"
