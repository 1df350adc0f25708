#pragma once
// The scales beside the plot: ticks at round frequencies, labelled in Hz, and at round
// times from the start of the sending, labelled in seconds, with a small built-in digit
// font (the picture needs no font file).

#include "waterfall/waterfall.h"

namespace velmora::waterfall {

// The strip's thickness across the frequency axis: above the plot for FrequencyAcross
// (its height), left of it for TimeAcross (its width).
int frequencyScaleThickness(Layout layout);

// Draws the scale of `picture` (its plot, layout and band must be set) into the strip
// the layout leaves for it.
void drawFrequencyScale(Picture& picture);

// The time scale's thickness: left of the plot for FrequencyAcross (its width), below
// it for TimeAcross (its height).
int timeScaleThickness(Layout layout);

// Draws the time scale of `picture` (plot, layout, lines and their scale set).
void drawTimeScale(Picture& picture);

}  // namespace velmora::waterfall
