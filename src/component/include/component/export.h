// The one mark of a counter library's entry points (DllGetClassObject,
// DllCanUnloadNow): everything else stays inside the library.
#pragma once

#if defined(_WIN32)
#define COMPONENT_EXPORT extern "C" __declspec(dllexport)
#else
#define COMPONENT_EXPORT extern "C" __attribute__((visibility("default")))
#endif
