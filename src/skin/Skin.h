// CSkin: the drawing resources that every window of the program paints with (pattern brushes,
// bitmaps, solid brushes, colours, icons, fonts and the pens of the palette). All colours follow
// from the setting BaseColor; the arithmetic is in SkinColors.h.
//
// Threads: the main thread fills the object once at start-up, before any window exists; after
// that nothing changes it, so the main thread and the progress thread read the members directly
// while painting, without a lock.
#pragma once

#include <windows.h>

#include <array>
#include <cstddef>

#include "resource.h"
#include "runtime/Handles.h"

class CSkin {
public:
    // The bitmap resources that become pattern brushes, in the order of PatternBrushes.
    static constexpr std::array<int, 4> kPatternBitmapIds{IDB_SKIN_147, IDB_SKIN_146, IDB_SKIN_142, IDB_SKIN_143};
    static constexpr std::array<int, 2> kBitmapIds{IDB_SKIN_145, IDB_SKIN_144};
    static constexpr int kCheckIconId = IDI_CHECK;
    static constexpr int kHostIconId = IDI_HOST;

    // Colours and their solid pens (width 1), one per step of a shade table.
    template <std::size_t N>
    struct Shades {
        std::array<COLORREF, N> Colors{};
        std::array<UniquePen, N> Pens;
    };

    CSkin() = default;   // every member empty until Setup
    CSkin(const CSkin&) = delete;
    CSkin& operator=(const CSkin&) = delete;

    // Fills every member from the program's resources and theSettings.BaseColor. Always TRUE: a
    // resource that cannot be loaded leaves its member empty and the windows paint without it.
    BOOL Setup();
    // The same from the resources of `module` and the base colour given (tests use this).
    BOOL Setup(HINSTANCE module, COLORREF baseColor);

    // The skin frame around `rect`, drawn in three nested rings up and to the left of it.
    void DrawFrame(HDC dc, RECT rect) const;

    // The members, in the order Setup fills them (and destroyed in the reverse order).
    std::array<UniqueBrush, 4> PatternBrushes;   // from kPatternBitmapIds, in that order
    std::array<UniqueBitmap, 2> Bitmaps;         // from kBitmapIds, in that order
    COLORREF BaseColor = 0;
    COLORREF PaperColor = 0;
    COLORREF DarkColor = 0;
    COLORREF Grey = 0;
    COLORREF LightGreen = 0;                     // black when the base colour is light
    COLORREF PaleGreen = 0;
    COLORREF LighterBaseColor = 0;               // the base colour with 40 more lightness
    UniqueBrush BaseBrush;                       // also the main window class's background
    UniqueBrush PaperBrush;
    int LineHeight = 0;
    UniqueIcon CheckIcon;                        // IDI_CHECK at 16 × 16
    UniqueIcon HostIcon;                         // IDI_HOST at 16 × 16
    UniqueFont TextFont;                         // Tahoma 14
    UniqueFont TitleFont;                        // Times New Roman 16
    Shades<3> BaseShadesA;
    Shades<3> BaseShadesB;
    Shades<6> PaperShades;
    Shades<4> FrameShades;

private:
    void LoadBitmapsAndBrushes(HINSTANCE module);
    void SetColors(COLORREF baseColor);
    void CreateSolidBrushes();
    void LoadIcons(HINSTANCE module);
    void CreateFonts();
    void ComputePalette();
};

// The process-wide skin (defined first among the process-wide objects).
extern CSkin theSkin;
