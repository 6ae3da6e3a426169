// The window shown while setup prepares the installation: from its start until the terms
// page or the first message box, so that the user sees setup at once while Excel starts
// for the checks and the components are copied. It has no code of its own.
#pragma once

#include "form.h"

namespace ferrolin {

class FrmPreparing : public Form {
public:
    FrmPreparing();

protected:
    void CreateControls() override;
};

extern FrmPreparing frmPreparing;

}  // namespace ferrolin
