#include "refservice/web/web_assets.h"

namespace refservice {

const char kFillScript[] = R"js((function () {
  'use strict';
  var form = document.getElementById('fill');
  if (!form) return;
  var image = document.getElementById('preview');
  var status = document.getElementById('preview-status');
  var page = document.getElementById('preview-page');
  var formError = document.getElementById('form-error');
  var confirmBox = document.getElementById('confirm');
  var timer = null, sequence = 0, lastUrl = null, pending = 0, confirmed = false;
  var kept = {};  // image input name -> the token of its photo, sent once and kept by the service
  var boxes = Array.prototype.slice.call(form.querySelectorAll('.field[data-field]'));

  function boxOf(name) {
    for (var i = 0; i < boxes.length; ++i) if (boxes[i].dataset.field === name) return boxes[i];
    return null;
  }
  function part(box, kind) {
    var input = box.querySelector('[name^="field-"]');
    return document.getElementById(kind + '-' + input.name.substring(6));
  }
  function show(element, text) {
    element.textContent = text;
    element.hidden = !text;
  }
  function clearErrors() {
    show(formError, '');
    boxes.forEach(function (box) {
      show(part(box, 'error'), '');
      part(box, 'in').removeAttribute('aria-invalid');
    });
  }
  // An answer that refused the values: at its input when it names one, else above the form.
  function showError(answer, text) {
    clearErrors();
    var input = answer && answer.headers.get('X-Field-Input');
    var target = input ? form.querySelector('[name="' + input + '"]') : null;
    if (target) {
      target.setAttribute('aria-invalid', 'true');
      show(document.getElementById('error-' + input.substring(6)), text);
    } else {
      show(formError, text);
    }
    // The preview no longer shows these values.
    if (lastUrl) URL.revokeObjectURL(lastUrl);
    lastUrl = null;
    image.removeAttribute('src');
    image.hidden = true;
    status.textContent = 'No preview: ' + (target ? 'see the marked field.' : text);
  }
  function number(value) { return Math.round(value * 10) / 10; }
  // What happened to one field, in words, and whether the customer must look at it.
  function describe(field) {
    var text = '', warn = false;
    if (field.action === 'shrunk') {
      text = 'Set smaller to fit: ' + number(field.size) + ' pt instead of ' +
             number(field.storedSize) + ' pt.';
    } else if (field.action === 'overflowing') {
      warn = true;
      text = 'Does not fit, even at ' + number(field.size) + ' pt: ' +
             (field.cutCharacters ? field.cutCharacters + ' characters are cut off at the frame.'
                                  : 'it is cut at the frame.');
    } else if (field.action === 'not drawn' && !/^non-printing/.test(field.note || '')) {
      warn = true;
      text = 'Not printed: ' + (field.note || 'it cannot be drawn') + '.';
    } else if (field.action === 'empty' && field.note) {
      text = 'Left out: the field it depends on is empty.';
    }
    if (field.fontFallback) text += (text ? ' ' : '') + 'Printed in a substitute font (' + field.font + ').';
    return {text: text, warn: warn};
  }
  // Puts each field's outcome beside its input; returns the fields that need a look.
  function showReport(report) {
    var problems = [];
    boxes.forEach(function (box) { show(part(box, 'outcome'), ''); box.classList.remove('warn'); });
    ((report && report.fields) || []).forEach(function (field) {
      var box = boxOf(field.name);
      if (!box) return;
      var said = describe(field);
      show(part(box, 'outcome'), said.text);
      box.classList.toggle('warn', said.warn);
      if (said.warn) problems.push(box.dataset.label + ': ' + said.text);
    });
    return problems;
  }
  function markSamples() {
    boxes.forEach(function (box) {
      var tag = part(box, 'tag');
      if (!tag) return;
      var input = part(box, 'in');
      var clear = box.querySelector('[name^="clear-"]');
      var untouched = input.type === 'file' ? !input.files.length && !(clear && clear.checked)
                                            : input.value === input.defaultValue;
      tag.hidden = !untouched;
      input.classList.toggle('sample', untouched);
    });
  }
  // The form's values; a photo the service keeps goes by its token, not as the file again.
  function values() {
    var data = new FormData(form);
    Object.keys(kept).forEach(function (name) { data.delete(name); });
    return data;
  }
  function refresh() {
    if (pending > 0) return;  // a photo is being sent; it refreshes when done
    var mine = ++sequence;
    var address = form.dataset.preview + '?page=' + encodeURIComponent(page ? page.value : '1');
    status.textContent = 'Updating the preview...';
    fetch(address, {method: 'POST', body: values(), credentials: 'same-origin',
                    headers: {'X-CSRF-Token': form.dataset.csrf}})
      .then(function (answer) {
        if (!answer.ok) {
          return answer.text().then(function (text) {
            if (mine === sequence) showError(answer, text.trim());
            return null;
          });
        }
        return answer.blob().then(function (blob) {
          if (mine !== sequence) return;
          clearErrors();
          var url = URL.createObjectURL(blob);
          image.src = url;
          image.hidden = false;
          if (lastUrl) URL.revokeObjectURL(lastUrl);
          lastUrl = url;
          image.dataset.version = String(mine);
          var report = null;
          try { report = JSON.parse(answer.headers.get('X-Render-Report') || 'null'); } catch (e) {}
          var problems = showReport(report);
          status.textContent = problems.length
              ? 'Preview up to date. ' + problems.length +
                (problems.length === 1 ? ' field does' : ' fields do') +
                ' not print as entered: see the notes beside ' +
                (problems.length === 1 ? 'it.' : 'them.')
              : 'Preview up to date.';
        });
      })
      .catch(function (failure) {
        if (mine === sequence) status.textContent = 'No preview: ' + failure.message;
      });
  }
  function later() { clearTimeout(timer); timer = setTimeout(refresh, 300); }
  // A chosen photo is sent once; the service keeps it for this session and answers a token.
  function sendPhoto(input) {
    var number = input.name.substring(6);
    var token = form.querySelector('[name="image-' + number + '"]');
    token.value = '';
    delete kept[input.name];
    var file = input.files[0];
    if (!file) return;
    ++pending;
    status.textContent = 'Sending the photo...';
    var data = new FormData();
    data.append('_csrf', form.dataset.csrf);
    data.append(input.name, file);
    fetch(form.dataset.images, {method: 'POST', body: data, credentials: 'same-origin',
                                headers: {'X-CSRF-Token': form.dataset.csrf}})
      .then(function (answer) {
        if (!answer.ok) {
          return answer.text().then(function (text) { showError(answer, text.trim()); return false; });
        }
        return answer.json().then(function (held) {
          if (input.files[0] !== file) return true;
          token.value = held.token;
          kept[input.name] = true;
          return true;
        });
      })
      .catch(function (failure) { show(formError, 'The photo could not be sent: ' + failure.message); return false; })
      .then(function (sent) { --pending; if (sent) refresh(); });
  }
  form.addEventListener('input', function (event) {
    var box = event.target.closest('.field');
    if (page && box && box.dataset.page !== page.value &&
        page.querySelector('option[value="' + box.dataset.page + '"]')) {
      page.value = box.dataset.page;
    }
    markSamples();
    later();
  });
  form.addEventListener('change', function (event) {
    var target = event.target;
    if (target.type === 'file') sendPhoto(target);
    if (target.type === 'checkbox' && target.name.indexOf('clear-') === 0) {
      var input = form.querySelector('[name="field-' + target.name.substring(6) + '"]');
      if (input) input.disabled = target.checked;
    }
    markSamples();
    later();
  });
  if (page) page.addEventListener('change', refresh);

  // The download: the values are checked first; errors stay on the form, and a document with a
  // cut or missing field is downloaded only when the customer says so.
  function download() {
    confirmed = true;
    confirmBox.hidden = true;
    var files = Object.keys(kept).map(function (name) { return form.elements[name]; });
    files.forEach(function (input) { input.disabled = true; });
    form.submit();
    files.forEach(function (input) { input.disabled = false; });
    confirmed = false;
  }
  form.addEventListener('submit', function (event) {
    if (confirmed) return;
    event.preventDefault();
    status.textContent = 'Checking the document...';
    fetch(form.dataset.report, {method: 'POST', body: values(), credentials: 'same-origin',
                                headers: {'X-CSRF-Token': form.dataset.csrf}})
      .then(function (answer) {
        if (!answer.ok) return answer.text().then(function (text) { showError(answer, text.trim()); });
        return answer.json().then(function (report) {
          clearErrors();
          var problems = showReport(report);
          status.textContent = 'Preview up to date.';
          if (!problems.length) return download();
          show(document.getElementById('confirm-text'),
               'Some fields will not print as entered. Download anyway?');
          var list = document.getElementById('confirm-list');
          list.textContent = '';
          problems.forEach(function (text) {
            var item = document.createElement('li');
            item.textContent = text;
            list.appendChild(item);
          });
          confirmBox.hidden = false;
          document.getElementById('confirm-download').focus();
        });
      })
      .catch(function (failure) { show(formError, 'The document cannot be checked: ' + failure.message); });
  });
  document.getElementById('confirm-download').addEventListener('click', download);
  document.getElementById('confirm-cancel').addEventListener('click', function () {
    confirmBox.hidden = true;
    document.getElementById('download').focus();
  });
  markSamples();
  refresh();
})();
)js";

const char kOpenScript[] =
    "(function () { var link = document.getElementById('open'); "
    "if (link) location.replace(link.href); })();\n";

const char kStyleSheet[] = R"css(body { font-family: sans-serif; margin: 0; color: #222; }
header { background: #234; color: #fff; padding: 8px 16px; display: flex; flex-wrap: wrap; gap: 8px 16px; align-items: center; }
header a { color: #fff; text-decoration: none; font-weight: bold; }
header .who { margin-left: auto; overflow-wrap: anywhere; }
main { padding: 16px; }
h1 { overflow-wrap: anywhere; }
form.inline { display: inline; }
label { display: block; margin: 8px 0; }
label span { display: block; font-size: 90%; color: #555; }
input[type=text], input[type=email], input[type=password], textarea { width: 100%; max-width: 28em; box-sizing: border-box; font: inherit; }
[hidden] { display: none !important; }
.error { color: #a00; }
table { border-collapse: collapse; }
td, th { border-bottom: 1px solid #ddd; padding: 4px 8px; text-align: left; vertical-align: top; }
.thumb { width: 120px; border: 1px solid #ccc; }
.id { font-size: 75%; color: #777; overflow-wrap: anywhere; }
.columns { display: flex; gap: 24px; align-items: flex-start; flex-wrap: wrap; }
.pages { flex: 2; min-width: 0; max-width: 100%; }
.fieldlist { flex: 1; min-width: 0; max-width: 100%; overflow-x: auto; }
figure { margin: 0 0 16px 0; }
.sheet { position: relative; border: 1px solid #999; display: inline-block; width: 100%; max-width: 800px; box-sizing: border-box; }
.sheet img { width: 100%; display: block; }
.sheet .field { position: absolute; border: 1px solid #d22; background: rgba(220, 40, 40, 0.08); box-sizing: border-box; overflow: hidden; }
.sheet .field span { font-size: 10px; background: rgba(255, 255, 255, 0.85); color: #a00; white-space: nowrap; }
.fill-layout { display: grid; grid-template-columns: minmax(0, 1fr) minmax(0, 2fr); grid-template-areas: "form preview" "actions preview"; grid-template-rows: auto 1fr; gap: 16px 24px; align-items: start; }
#fill { grid-area: form; }
.preview { grid-area: preview; }
.actions { grid-area: actions; }
#fill .field { margin: 0 0 12px 0; padding: 4px 0; }
#fill .field > label { display: inline; font-size: 95%; color: #333; margin: 0; overflow-wrap: anywhere; }
#fill .field input[type=text], #fill .field textarea, #fill .field input[type=file] { display: block; width: 100%; max-width: 28em; box-sizing: border-box; margin-top: 4px; }
#fill .field label.choice { display: block; margin: 4px 0 0 0; }
#fill .field p { margin: 4px 0 0 0; font-size: 85%; max-width: 34em; }
.sample-tag { font-size: 75%; text-transform: uppercase; background: #eef; color: #335; border: 1px solid #99b; border-radius: 3px; padding: 0 4px; }
input.sample, textarea.sample { color: #667; font-style: italic; background: #f6f6fb; }
.hint { color: #556; }
.rule { color: #345; background: #eef4fa; border-left: 3px solid #69c; padding: 2px 6px; }
.outcome { color: #555; }
.field.warn .outcome { color: #8a4b00; font-weight: bold; }
[aria-invalid=true] { border: 2px solid #a00; }
.preview img { max-width: 100%; border: 1px solid #999; display: block; }
#confirm { border: 2px solid #8a4b00; background: #fff7ec; padding: 8px 12px; margin-bottom: 12px; }
#confirm ul { padding-left: 20px; overflow-wrap: anywhere; }
.actions button, #confirm button { font-size: 110%; padding: 6px 14px; }
@media (max-width: 700px) {
  main { padding: 12px; }
  .fill-layout { grid-template-columns: minmax(0, 1fr); grid-template-areas: "form" "preview" "actions"; grid-template-rows: auto; }
  table.templates, table.templates tbody, table.templates tr, table.templates td { display: block; width: auto; }
  table.templates thead { display: none; }
  table.templates tr { border-bottom: 1px solid #ccc; padding: 8px 0; }
  table.templates td { border: none; padding: 2px 0; overflow-wrap: anywhere; }
  .fieldlist table, .fieldlist tbody, .fieldlist tr, .fieldlist td { display: block; }
  .fieldlist thead { display: none; }
  .fieldlist tr { border-bottom: 1px solid #ccc; padding: 6px 0; }
  .fieldlist td { border: none; padding: 1px 0; overflow-wrap: anywhere; }
}
)css";

}  // namespace refservice
