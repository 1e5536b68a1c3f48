// State shared by the player and the frame reader (animation engine only).
#pragma once

#include "anim/player.h"

namespace anim_internal {

extern FrameCallback g_pre_frame;
extern FrameCallback g_post_frame;
extern RenderBitmap* g_bitmap;

}  // namespace anim_internal
