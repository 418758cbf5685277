// The status text of everything that succeeded. Exchanges, hub queries,
// hub locks and the state-argument language each answer it, or one of
// their own message texts.
#pragma once

inline constexpr char kOK[] = "OK";
