// The captions of the program's message boxes.
#pragma once

// The caption of every message box of the shell.
inline constexpr const char16_t* kShellCaption = u"瞰市";
