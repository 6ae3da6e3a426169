// The terms page, the first page of the wizard: the conditions of use, the agreement box
// and the links to the maker.
#pragma once

#include "form.h"

namespace ferrolin {

class FrmWizard4 : public Form {
public:
    FrmWizard4();

protected:
    void CreateControls() override;
    void Click(int id) override;
    void CloseBox() override;
    void Escape() override;
};

extern FrmWizard4 frmWizard4;

}  // namespace ferrolin
