// The destination page: the folder the add-in goes into.
#pragma once

#include "form.h"

namespace ferrolin {

class FrmWizard1 : public Form {
public:
    FrmWizard1();
    // True exactly when the last Next on this page stopped because the earlier add-in
    // workbook cannot be removed (blnExitInstall of the setup run state).
    bool Exit_Install() const;
protected:
    void CreateControls() override;
};

extern FrmWizard1 frmWizard1;

}  // namespace ferrolin
