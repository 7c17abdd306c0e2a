#pragma once
// The main window's choices that outlive a run: the port, the speed and the pause
// between bulk messages, kept in the settings file.

namespace app {

class Settings;
class TMainForm;

// Puts the remembered port, speed and pause into the window's boxes. Without a settings
// file the boxes keep the presets they were made with.
void applySettings(TMainForm& form, const Settings& settings);
// Stores what the boxes hold now; a port or speed box holding no usable value leaves
// the remembered one as it was.
void storeSettings(const TMainForm& form, Settings& settings);

}  // namespace app
