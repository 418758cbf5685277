// The built-in help screen, shown with no argument and for /H and /?.
#pragma once

[[noreturn]] void DoShowHelp();
