#pragma once
// Show commands handed to the shell and to started programs, with the platform's values. On
// Linux a started program decides how its window appears; the value is passed along unchanged.
constexpr int SW_HIDE = 0;
constexpr int SW_SHOWNORMAL = 1;
constexpr int SW_SHOWMINIMIZED = 2;
constexpr int SW_SHOWMAXIMIZED = 3;
constexpr int SW_SHOW = 5;
