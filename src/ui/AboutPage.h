// The About page: the product's name, the ownership notice and the licence paragraph
// (string IDS_ABOUT_TEXT) on a paper panel. No controls, no host notifications. Main thread.
#pragma once

#include "ui/Page.h"

class CAboutPage : public CPage {
public:
    void Paint(HDC dc, const RECT& client) const override;
};
