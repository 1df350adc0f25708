#pragma once
// The frequency scale beside the plot: ticks at round frequencies, labelled in Hz with a
// small built-in digit font (the picture needs no font file).

#include "waterfall/waterfall.h"

namespace velmora::waterfall {

// The strip's thickness across the frequency axis: above the plot for FrequencyAcross
// (its height), left of it for TimeAcross (its width).
int frequencyScaleThickness(Layout layout);

// Draws the scale of `picture` (its plot, layout and band must be set) into the strip
// the layout leaves for it.
void drawFrequencyScale(Picture& picture);

}  // namespace velmora::waterfall
