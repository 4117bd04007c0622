#pragma once

// Places and sizes of the editor window's controls, in pixels of its client area, as the window
// starts (32 note columns). AddMoreControls widens the layout for more columns.
namespace editorlayout {

inline constexpr int kStartColumns = 32;
inline constexpr int kClientWidth = 539;
inline constexpr int kClientHeight = 406;

// Note columns: every control of column i stands at left kColumnLeft + kColumnPitch * i.
inline constexpr int kColumnLeft = 78;
inline constexpr int kColumnPitch = 12;
inline constexpr int kStartEnabledColumns = 8;

inline constexpr int kCheckWidth = 11;
inline constexpr int kFlamTop = 38;
inline constexpr int kFlamHeight = 15;
inline constexpr int kBarWidth = 10;
inline constexpr int kBarHeight = 99;
inline constexpr int kVolumeTop = 56;
inline constexpr int kResTop = 160;
inline constexpr int kVoiceTop = 266;
inline constexpr int kVoicePitch = 16;
inline constexpr int kVoiceHeight = 17;

// Start values of every column: type 1, volume 1, no flam, voice A.
inline constexpr int kStartResPosition = 15;
inline constexpr int kStartVolumePosition = 8;

// The blue line under the selected range.
inline constexpr int kLineY = 366;
inline constexpr int kLineWidth = 2;

// The client area is this much wider than the left edge of the last column.
inline constexpr int kClientExtra = 89;

} // namespace editorlayout
