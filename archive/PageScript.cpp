#include "archive/PageScript.h"

namespace dravolin::archive {

// Sizes in rem and no fixed widths, so the browser's zoom and text size reach everything; a
// focus ring on whatever the keyboard is on; each result a word on a colour of enough contrast.
std::string_view PageStyle() {
    return R"css(body { font-family: system-ui, sans-serif; margin: 1rem; color: #1a1a1a;
  background: #fff; line-height: 1.4; }
h1 { font-size: 1.6rem; margin: 0 0 .5rem; }
table { border-collapse: collapse; margin: .5rem 0 1.5rem; }
th, td { border-bottom: 1px solid #ccc; padding: .3rem .6rem; text-align: left;
  vertical-align: top; }
th { background: #f1f3f5; }
td.number { text-align: right; white-space: nowrap; }
td.date { white-space: nowrap; }
.scroll { overflow-x: auto; }
.result, .verify { display: inline-block; padding: .1rem .5rem; border-radius: .3rem;
  font-weight: 600; }
.result { white-space: nowrap; }
.verify { max-width: 11rem; }
.when { white-space: nowrap; }
.result.complete, .verify.valid { background: #d3f9d8; color: #1b5e20; }
.result.incomplete, .verify.extra-files { background: #fff3bf; color: #6b4500; }
.result.unreadable, .result.failed, .result.target-full, .verify.changed,
.verify.missing-files, .verify.unreadable { background: #ffe3e3; color: #a51111; }
.result.already-archived, .verify.none { background: #e7f5ff; color: #1c4f80; }
.alert { background: #ffe3e3; color: #a51111; padding: .5rem; }
.search { margin: 1rem 0 .3rem; }
.search input { font-size: 1rem; padding: .3rem; width: 24rem; max-width: 90%; }
a:focus-visible, input:focus-visible, .scroll:focus-visible { outline: 3px solid #1c7ed6;
  outline-offset: 2px; }
svg.map { display: block; width: 13rem; height: auto; border: 1px solid #555; }
.caption { margin: .2rem 0; font-size: .9rem; }
.legend { list-style: none; margin: 0; padding: 0; font-size: .85rem; }
.legend li { white-space: nowrap; }
/* Zoomed in or on a narrow window, each disc is a card of "column: value" lines, so nothing
   has to be scrolled sideways to be read. */
@media (max-width: 50rem) {
  #discs thead { position: absolute; left: -10000px; }
  #discs, #discs tbody, #discs tr, #discs td { display: block; }
  #discs tr { border-bottom: 2px solid #999; padding: .4rem 0; }
  #discs td { border: none; padding: .15rem .6rem; text-align: left; }
  #discs td:empty { display: none; }
  #discs td::before { content: attr(data-label) ": "; font-weight: 600; }
}
.swatch { display: inline-block; width: .8rem; height: .8rem; margin-right: .3rem;
  border: 1px solid #555; vertical-align: middle; }
)css";
}

std::string_view PageScript() {
    return R"js('use strict';
(function () {
  var data = JSON.parse(document.getElementById('files').textContent);
  var box = document.getElementById('search');
  var table = document.getElementById('found');
  var body = table.tBodies[0];
  var count = document.getElementById('found-count');
  var units = data.units.split(',');
  var lower = data.files.map(function (file) { return file[1].toLowerCase(); });
  var shownAtMost = 500;

  function size(bytes) {
    var unit = 0, scale = 1;
    while (bytes / scale >= 1024 && unit + 1 < units.length) { scale *= 1024; unit++; }
    if (unit === 0) return bytes + '\u00a0' + units[0];
    var tenths = Math.floor(bytes * 10 / scale);
    return Math.floor(tenths / 10) + (data.lang === 'ru' ? ',' : '.') + (tenths % 10) +
        '\u00a0' + units[unit];
  }
  function cell(row, text, href) {
    var td = document.createElement('td');
    if (href) {
      var link = document.createElement('a');
      link.href = href;
      link.textContent = text;
      td.appendChild(link);
    } else {
      td.textContent = text;
    }
    row.appendChild(td);
    return td;
  }
  function show() {
    var typed = box.value.trim().toLowerCase();
    body.textContent = '';
    if (!typed) { table.hidden = true; count.textContent = ''; return; }
    var hits = [];
    for (var i = 0; i < lower.length; i++) if (lower[i].indexOf(typed) >= 0) hits.push(i);
    var shown = Math.min(hits.length, shownAtMost);
    for (var k = 0; k < shown; k++) {
      var file = data.files[hits[k]], bag = data.bags[file[0]];
      var link = file[3] || file[1].split('/').map(encodeURIComponent).join('/');
      var row = document.createElement('tr');
      cell(row, file[1], bag.href + link);
      cell(row, bag.label);
      cell(row, bag.bag, bag.href.slice(0, -'data/'.length));
      cell(row, size(file[2])).className = 'number';
      body.appendChild(row);
    }
    table.hidden = shown === 0;
    count.textContent = hits.length > shown
        ? data.foundMore.replace('%1', hits.length).replace('%2', shown)
        : data.found.replace('%1', hits.length);
  }
  box.addEventListener('input', show);
  if (location.hash.indexOf('#q=') === 0) box.value = decodeURIComponent(location.hash.slice(3));
  show();
})();
)js";
}

}  // namespace dravolin::archive
