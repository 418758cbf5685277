#include "reason.h"

Reason::Reason() = default;
Reason::Reason(const Reason&) = default;
Reason::Reason(Reason&&) noexcept = default;
Reason& Reason::operator=(const Reason&) = default;
Reason& Reason::operator=(Reason&&) noexcept = default;
Reason::~Reason() = default;
