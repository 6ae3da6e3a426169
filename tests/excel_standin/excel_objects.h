// The objects a client reaches: Excel's application and global object, and everything
// below them. Each call makes a new object over the instance's shared model.
#pragma once

#include "standin_dispatch.h"

namespace excel_standin {

DispatchObject* NewApplication();
DispatchObject* NewGlobal();

}  // namespace excel_standin
