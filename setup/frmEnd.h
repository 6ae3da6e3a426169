// The finishing window, shown while the add-in is added to Excel. It has no code of its own.
#pragma once

#include "form.h"

namespace ferrolin {

class FrmEnd : public Form {
public:
    FrmEnd();

protected:
    void CreateControls() override;
};

extern FrmEnd frmEnd;

}  // namespace ferrolin
