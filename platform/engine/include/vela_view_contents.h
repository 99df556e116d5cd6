/*
 * Read access to what an engine view shows, for tests and for a presentation backend that
 * draws views on a real display. Not part of the interface the desktop host uses.
 */
#ifndef VELA_VIEW_CONTENTS_H_
#define VELA_VIEW_CONTENTS_H_

#include <stdbool.h>
#include <stddef.h>
#include <stdint.h>
#include <windows.h>

#include "vela_windows.h"

#ifdef __cplusplus
extern "C" {
#endif

/* The frame a view shows. */
typedef struct {
  uint32_t width;
  uint32_t height;
  uint64_t frame_count; /* frames shown so far; 0 before the first one */
} VelaDesktopViewFrameInfo;

/* Describes the frame the view window `view_window` shows and, when `pixels` is not null and
 * `pixels_size` holds width * height * 4 bytes, copies its RGBA pixels (rows without
 * padding). False when the window is not an engine view or the buffer is too small (`info`
 * is filled in either case when the window is a view). Any thread. */
VELA_EXPORT bool VelaDesktopViewReadContents(HWND view_window, VelaDesktopViewFrameInfo* info,
                                             uint8_t* pixels, size_t pixels_size);

#ifdef __cplusplus
} /* extern "C" */
#endif

#endif /* VELA_VIEW_CONTENTS_H_ */
