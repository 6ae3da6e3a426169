#include "names.h"
#include "registry_layer.h"

// The tests link the layer as the library does.
const wchar_t* const ferrolin::kCreateKeyFailureText = ferrolin::kErrCreateKeyLibrary;
