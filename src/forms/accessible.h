// The names screen readers read for controls whose window text is not their name: an edit
// box, list, date picker, slider or colour picker is named by the caption of the label the
// form gives it. The name is given as the platform recommends for controls of its own
// classes, by annotating the control's accessible object (dynamic annotation), so that a
// control with an object of its own (the date picker of the common controls' version 6)
// keeps it. Where annotation does not work (Wine's keeps nothing), a control that has no
// object of its own is answered with the system's object for its class, changed only in
// its name.
#pragma once

#include <string>

#include <windows.h>

namespace tq::forms {

// Annotates the name of the control's client object; true when the platform took it, so
// that the object the control or the system gives is read with that name.
bool AnnotateAccessibleName(HWND control, const std::wstring& name);
// Takes the platform's place in AnnotateAccessibleName when set (tests: Wine keeps no
// annotation).
inline bool (*annotate_name_for_tests)(HWND control, const std::wstring& name) = nullptr;
// Takes the annotation away again, for a control whose window is going; nothing when no
// annotation was ever asked for.
void ClearAccessibleName(HWND control);

// An answer to WM_GETOBJECT(OBJID_CLIENT): the system's object for the control with the name
// `name`, or 0 (the system answers as usual) when the accessibility libraries cannot be had.
LRESULT NamedAccessibleObject(HWND control, WPARAM wparam, const std::wstring& name);

// A caption as a name: runs of blanks become one (a caption may leave a gap for the box that
// sits in it) and the ends are trimmed.
std::wstring NameFromCaption(const std::wstring& caption);

}  // namespace tq::forms
