// The author's details that the About and unknown-number dialogs show, in
// one place.
#pragma once

namespace nomvex::author {

// The copyright line and the mail address fit the dialogs' rectangles
// (233 and 117 pixels) in the forms' face; a test measures them.
inline constexpr const char* kCopyright = "Copyright (C) 2026 Nomvex developers";
inline constexpr const char* kMail = "nomvex@example.jp";
inline constexpr const char* kHomepage = "https://example.jp/nomvex/";
// Where unknown numbers are reported: the bulletin board.
inline constexpr const char* kReportPage = "https://example.jp/nomvex/board/";
inline constexpr const char* kBannerText = "Nomvex";

}  // namespace nomvex::author
