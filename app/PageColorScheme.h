#pragma once

class QPalette;

// The pages follow the desktop's light or dark look: the shipped style sheet holds a dark rule set
// under prefers-color-scheme: dark, and the browser engine answers that query as the palette
// says. The engine takes this once, when it starts, so a palette changed later is followed at the
// next start.

// True when the palette's window is darker than the text on it.
bool IsDarkPalette(const QPalette& palette);

// Tells the browser engine to report a dark colour scheme when the palette is dark (Chromium's
// --force-dark-mode in QTWEBENGINE_CHROMIUM_FLAGS, which also draws its own controls and scroll
// bars dark); a light palette leaves the engine as it is. Call before the first web view is made;
// calling it again adds nothing twice.
void TellEngineColorScheme(const QPalette& palette);
