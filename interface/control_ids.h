// Dialog template and control IDs of the resource script (ui/roomstat.rc),
// for the dialog procedures and for hosts that drive the dialogs as a person
// would. The script itself writes the same numbers.
#pragma once

// Dialog templates.
constexpr int SETTINGS_DIALOG_TEMPLATE = 100;
constexpr int OCTAVE_DIALOG_TEMPLATE = 106;
constexpr int THIRD_OCTAVE_DIALOG_TEMPLATE = 107;

// Buttons shared by the dialogs.
constexpr int ID_OK = 1;
constexpr int ID_CANCEL = 2;
constexpr int ID_HELP = 4;

// Settings dialog.
constexpr int ID_NOISE_CORRECTION = 1000;
constexpr int ID_RTU_START = 1001;
constexpr int ID_RTU_END = 1002;
constexpr int ID_W_THRESHOLD = 1006;
constexpr int ID_Y_THRESHOLD = 1007;
constexpr int ID_LOCK = 1008;
constexpr int ID_BOOST = 1009;
constexpr int ID_THIRD_OCTAVE = 1010;
constexpr int ID_W_THRESHOLD_LABEL = 2000;

// Results dialogs.
constexpr int ID_CHANNEL_BUTTON = 3150;
constexpr int ID_COPY = 3151;
constexpr int ID_RTU_RANGE = 3154;
constexpr int ID_HEADING = 3156;
