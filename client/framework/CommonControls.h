// Common controls: list view, tree view, status bar, tool bar, image list,
// progress bar, date-time picker and animation.
#pragma once

#include "ImageList.h"
#include "ListView.h"
#include "TreeView.h"
#include "StatusBar.h"
#include "ToolBar.h"
#include "ProgressBar.h"
#include "DateTimePicker.h"
#include "Animate.h"
