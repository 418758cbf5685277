#include "reason.h"

#include <utility>

Reason::Reason() = default;
Reason::Reason(Cause cause, std::string device)
    : cause(cause), device(std::move(device)) {}
Reason::Reason(const Reason&) = default;
Reason::Reason(Reason&&) noexcept = default;
Reason& Reason::operator=(const Reason&) = default;
Reason& Reason::operator=(Reason&&) noexcept = default;
Reason::~Reason() = default;
