#include "names.h"
#include "registry_layer.h"

// The setup program's wording of the registry layer's key-creation failure.
const wchar_t* const ferrolin::kCreateKeyFailureText = ferrolin::kErrCreateKeySetup;
