// The author's details that the About and unknown-number dialogs show, in
// one place.
#pragma once

namespace nomvex::author {

inline constexpr const char* kCopyright = "Copyright (C) 2026 The Nomvex developers";
inline constexpr const char* kMail = "nomvex@nomvex.example";
inline constexpr const char* kHomepage = "https://nomvex.example/";
// Where unknown numbers are reported: the bulletin board.
inline constexpr const char* kReportPage = "https://nomvex.example/board/";
inline constexpr const char* kBannerText = "Nomvex";

}  // namespace nomvex::author
