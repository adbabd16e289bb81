#include "dialogs/dialogs.h"

#include "forms/forms.h"

namespace tq {

// ---- Settings window ---------------------------------------------------------------------

// Will switch the main window's always-on-top off and run the three page loaders.
void LoadSettingsWindow() {}
// Will switch the main window's always-on-top back on when the settings ask for it.
void RestoreTopmostAfterSettings() {}

// Will save both pages, register start-up and re-apply the file to the main window.
void ApplySettings() {}
// Will apply, let pending messages run and close the settings window.
void ApplyAndCloseSettings() {}
// Will re-apply the file to the main window without saving, then close.
void CancelSettings() {}
// Will ask, delete the settings and picture files and cancel.
void RestoreDefaults() {}

// Will apply the slider's transparency to the main window at once.
void PreviewTransparency() {}
// Will let the user choose a picture, store it and show it on the main window.
void ChooseBackgroundPicture() {}
// Will put the built-in picture back on the main window and remove the stored one.
void RestoreDefaultPicture() {}

// Will enable or disable the position boxes and centre the main window.
void OnCentreCheckClicked() {}
// Will move the main window to the left box's number unless centring is on.
void OnLeftBoxChanged() {}
// Will move the main window to the top box's number unless centring is on.
void OnTopBoxChanged() {}
// Will resize the main window to the width box's number, centring it when asked.
void OnWidthBoxChanged() {}
// Will resize the main window to the height box's number, centring it when asked.
void OnHeightBoxChanged() {}
// Will add `step` to the main window's left and show the resulting left.
void OnLeftSpinner(int) {}
// Will add `step` to the main window's top and show the resulting top.
void OnTopSpinner(int) {}
// Will add `step` to the main window's width and show the resulting width.
void OnWidthSpinner(int) {}
// Will add `step` to the main window's height and show the resulting height.
void OnHeightSpinner(int) {}
// Will enable the refresh box only for seconds accuracy.
void OnAccuracyChanged() {}
// Nothing happens at once: a new shape takes effect through Apply.
void OnShapeChanged() {}
// Nothing happens at once: the value is read when saving.
void OnAllowBelowZeroClicked() {}

// ---- About window ------------------------------------------------------------------------

// Will set the window caption, the heading and the about text from the about texts.
void LoadAboutWindow() {}
// Will open the maker's web page in the default browser.
void OpenBlogPage() {}
void CloseAboutWindow() { about_window.Close(); }

}  // namespace tq
