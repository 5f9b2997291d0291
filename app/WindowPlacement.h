#pragma once

// Where the main window opens: the arithmetic of its first size and of bringing a saved window
// onto the screen it opens on. No Qt.

struct TWindowRect
{
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;

    bool operator==(const TWindowRect&) const = default;
};

// The first start's window: 60% of the area's width and 80% of its height, centred in it.
TWindowRect FirstWindowRect(const TWindowRect& area);

// A saved window that does not fit the area (larger than it, or partly or wholly off it) is shrunk
// to fit and moved just inside; one that fits is kept as it is.
TWindowRect FitWindowRect(const TWindowRect& saved, const TWindowRect& area);
