// The names screen readers read for controls whose window text is not their name: an edit
// box, list, date picker, slider or colour picker is named by the caption of the label the
// form gives it. Such a control answers the platform's request for its accessible object
// (WM_GETOBJECT) with the system's own object for its class, changed only in its name.
#pragma once

#include <string>

#include <windows.h>

namespace tq::forms {

// The answer to WM_GETOBJECT for a control named `name`: the system's object with that name,
// or 0 (the system answers as usual) when the request is not for the control's client object
// or the accessibility libraries cannot be had.
LRESULT AnswerAccessibleObjectRequest(HWND control, WPARAM wparam, LPARAM lparam,
                                      const std::wstring& name);

// A caption as a name: runs of blanks become one (a caption may leave a gap for the box that
// sits in it) and the ends are trimmed.
std::wstring NameFromCaption(const std::wstring& caption);

}  // namespace tq::forms
