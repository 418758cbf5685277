// The status text of everything on the link that succeeded. Exchanges and
// hub queries each answer it, or one of their own message texts.
#pragma once

inline constexpr char kOK[] = "OK";
