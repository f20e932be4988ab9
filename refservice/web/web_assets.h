// The static files of the web pages, served under /assets/: the fill form's script, the fill
// link's forwarding script and the style sheet (laid out for screens from 320 px wide up).
#pragma once

namespace refservice {

// /assets/fill.js: the live preview (a chosen photo is sent once, kept by the service for the
// session and named by its token after), each field's outcome from the render report beside its input,
// errors at their input, samples marked until changed, and a question before a download that
// holds a cut or missing field.
extern const char kFillScript[];
// /assets/open.js
extern const char kOpenScript[];
// /assets/style.css
extern const char kStyleSheet[];

}  // namespace refservice
