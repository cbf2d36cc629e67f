// The first question: install, or only unpack (dialog 126).
#pragma once

#include <windows.h>

#include <cstdint>

#include "resources/product_info.h"
#include "ui/dialog_window.h"

class ConfirmDialog : public DialogWindow {
  public:
    ConfirmDialog();

    INT_PTR WindowProc(UINT message, WPARAM wparam, LPARAM lparam) override;

    INT_PTR OnInitDialog();
    INT_PTR OnCommand(WPARAM wparam, LPARAM lparam);
    void ReadUnpackOnly();

    const ProductInfo* product_info;
    int32_t unpack_only;
};
