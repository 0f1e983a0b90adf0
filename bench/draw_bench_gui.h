// The GUI editors' part of draw_bench; needs the GUI application.
#pragma once

// Prints the layout editor's and the skin editor's figures; 0 on success.
int DrawBenchGui(int aFrames);
