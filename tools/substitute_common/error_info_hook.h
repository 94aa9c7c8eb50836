// Carries error-information descriptions across processes, which Wine's COM
// does not do: the server side sends the description that a failing call
// left behind, the client side installs it with SetErrorInfo on the calling
// thread. Registered by the substitute servers and by test programs only.
#pragma once
#include <windows.h>

namespace substitute {

// Registers the hook for this process once; later calls do nothing.
HRESULT RegisterErrorInfoHook();

}  // namespace substitute
