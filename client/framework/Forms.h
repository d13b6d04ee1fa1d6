// The form framework: windows whose layout, captions and event bindings
// come from form resources.
#pragma once
