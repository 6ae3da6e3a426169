// The add-in page, the last page of the wizard: its End button finishes the installation.
#pragma once

#include "form.h"

namespace ferrolin {

class FrmWizard2 : public Form {
public:
    FrmWizard2();

protected:
    void CreateControls() override;
};

extern FrmWizard2 frmWizard2;

}  // namespace ferrolin
