#include "tools/quarnkit/serve/page_assets.h"

#include "tools/quarnkit/preview/render.h"

namespace quarn::tool {

namespace {

constexpr std::string_view kHTML = R"html(<!DOCTYPE html>
<html lang="en"><head><meta charset="utf-8">
<meta name="viewport" content="width=device-width, initial-scale=1">
<title>quarnkit serve</title>
<link rel="stylesheet" href="/app.css">
<script src="/app.js" defer></script>
</head><body>
<header class="controls">
<label>Device <select id="device"><option>phone</option><option>tablet</option><option>desktop</option><option>tv</option></select></label>
<label>Premium <select id="premium"><option value="">from the facts</option><option value="yes">on</option><option value="no">off</option></select></label>
<label>Now <input id="now" type="text" size="22" placeholder="2024-05-01T10:00:00Z" spellcheck="false"></label>
<label><input id="explain" type="checkbox"> Explain</label>
<span id="status" role="status"></span>
</header>
<details id="facts-panel" open><summary>Facts <button id="reset-facts" type="button">Reset</button></summary><div id="facts"></div></details>
<main><div id="screen"></div><aside id="explain-layer" hidden></aside></main>
</body></html>
)html";

// Renders with the controls' settings on every change of a control and on
// every event of the server; the newest answer wins. Only facts the person
// edited are sent, so a changed facts file still shows through the others.
constexpr std::string_view kScript = R"js('use strict';
(() => {
  const $ = (id) => document.getElementById(id);
  const screen = $('screen'), layer = $('explain-layer'), status = $('status');
  const facts = new Map();
  let factNames = null, lastGood = null, broken = null, sequence = 0, events = null;

  function query() {
    const p = new URLSearchParams();
    p.set('device', $('device').value);
    if ($('premium').value) p.set('premium', $('premium').value);
    if ($('now').value.trim()) p.set('now', $('now').value.trim());
    if ($('explain').checked) p.set('explain', '1');
    for (const [name, input] of facts) if (input.dataset.edited) p.set('fact.' + name, input.value);
    return p.toString();
  }

  function showFacts(list) {
    const names = JSON.stringify(list.map((f) => f.name));
    if (names !== factNames) {
      factNames = names;
      facts.clear();
      const rows = list.map((f) => {
        const label = document.createElement('label');
        const name = document.createElement('span');
        name.textContent = f.name;
        const input = document.createElement('input');
        input.type = 'text';
        input.value = f.text;
        input.spellcheck = false;
        input.addEventListener('input', () => { input.dataset.edited = '1'; });
        input.addEventListener('change', render);
        facts.set(f.name, input);
        label.append(name, input);
        return label;
      });
      $('facts').replaceChildren(...rows);
    } else {
      for (const f of list) {
        const input = facts.get(f.name);
        if (!input.dataset.edited && document.activeElement !== input) input.value = f.text;
      }
    }
    $('facts-panel').hidden = list.length === 0;
  }

  // A button that switches between the last good render and the findings.
  function button(id, text, onClick) {
    const b = document.createElement('button');
    b.type = 'button';
    b.id = id;
    b.textContent = text;
    b.addEventListener('click', onClick);
    return b;
  }

  function showLastGood() {
    screen.dataset.state = 'last-good';
    const note = document.createElement('div');
    note.className = 'note';
    note.textContent = 'The last good render; the template does not render now. ';
    note.append(button('show-findings', 'Show the findings', showBroken));
    screen.innerHTML = lastGood;
    screen.prepend(note);
  }

  function showBroken() {
    screen.dataset.state = 'broken';
    const box = document.createElement('div');
    box.className = 'broken';
    const title = document.createElement('h2');
    title.textContent = 'The template does not render';
    const error = document.createElement('p');
    error.className = 'error';
    error.textContent = broken.error;
    const findings = document.createElement('div');
    findings.innerHTML = broken.findings;
    box.append(title);
    // The failure line says again what an error finding says; it is shown
    // only when lint found no error (a facts file that does not read, say).
    if (findings.querySelector('li.error') === null) box.append(error);
    box.append(findings);
    if (lastGood !== null) {
      box.append(button('last-good', 'Show the last good render', showLastGood));
    }
    screen.replaceChildren(box);
  }

  async function render() {
    const mine = ++sequence;
    let reply;
    try {
      const response = await fetch('/render?' + query(), { cache: 'no-store' });
      if (!response.ok) {
        if (mine === sequence) status.textContent = await response.text();
        return;
      }
      reply = await response.json();
    } catch (e) {
      if (mine === sequence) status.textContent = 'The server does not answer.';
      return;
    }
    if (mine !== sequence) return;
    status.textContent = '';
    showFacts(reply.facts || []);
    if (reply.ok) {
      broken = null;
      lastGood = reply.screen;
      screen.dataset.state = 'ok';
      screen.innerHTML = reply.screen;
    } else {
      broken = reply;
      showBroken();
    }
    layer.innerHTML = reply.explain || '';
    layer.hidden = !$('explain').checked || !reply.explain;
  }

  function listen() {
    events = new EventSource('/events');
    events.onmessage = render;
    events.onerror = () => {
      // Refused (too many pages open) or the server went away: try again later.
      if (events.readyState === EventSource.CLOSED) setTimeout(listen, 5000);
    };
  }

  for (const id of ['device', 'premium', 'now', 'explain']) $(id).addEventListener('change', render);
  $('reset-facts').addEventListener('click', (event) => {
    event.preventDefault();
    for (const input of facts.values()) delete input.dataset.edited;
    factNames = null;
    render();
  });
  listen();
  render();
})();
)js";

constexpr std::string_view kPageStyle = R"css(
body { padding: 0 0 32px; }
.controls { display: flex; flex-wrap: wrap; gap: 8px 18px; align-items: center; padding: 10px 16px; background: #fff; border-bottom: 1px solid #d5d9e0; font-size: 14px; }
.controls input[type=text], .controls select, #facts input { font: inherit; padding: 3px 6px; border: 1px solid #c5cad3; border-radius: 6px; }
#status { color: #b91c1c; }
#facts-panel { padding: 6px 16px; background: #f1f3f7; border-bottom: 1px solid #d5d9e0; font-size: 13px; }
#facts-panel summary { cursor: pointer; font-weight: 600; }
#facts { display: flex; flex-wrap: wrap; gap: 6px 14px; padding-top: 6px; }
#facts label { display: flex; gap: 6px; align-items: center; }
#facts span { font-family: ui-monospace, monospace; }
main { display: flex; justify-content: center; align-items: flex-start; gap: 24px; padding-top: 24px; }
#screen .phone { margin: 0; }
#screen .note { max-width: 390px; margin-bottom: 8px; padding: 8px 12px; background: #fef3c7; border-radius: 8px; font-size: 13px; }
.broken { width: 390px; min-height: 300px; padding: 16px; background: #fff; border: 2px solid #b91c1c; border-radius: 16px; }
.broken h2 { margin: 0 0 8px; font-size: 18px; color: #b91c1c; }
.broken .error, .findings li { font-family: ui-monospace, monospace; font-size: 12px; word-break: break-word; }
.findings { padding-left: 18px; }
.findings li.error { color: #b91c1c; }
.findings li.warning { color: #92400e; }
#explain-layer { width: 380px; max-height: 844px; overflow-y: auto; background: #fff; border-radius: 12px; padding: 12px 14px; font-size: 13px; box-shadow: 0 1px 3px rgba(0,0,0,.12); }
#explain-layer ol { list-style: none; margin: 0; padding: 0; }
#explain-layer li { padding: 4px 6px; border-left: 4px solid #16a34a; margin-bottom: 4px; word-break: break-word; }
#explain-layer li.hidden { border-left-color: #b91c1c; background: #fef2f2; }
#explain-layer li.depth1 { margin-left: 12px; } #explain-layer li.depth2 { margin-left: 24px; }
#explain-layer li.depth3, #explain-layer li.depth4, #explain-layer li.depth5 { margin-left: 36px; }
#explain-layer .type, #explain-layer .where { color: #6b7280; }
#explain-layer li.hidden .why { color: #b91c1c; }
#explain-layer .next { margin: 10px 0 0; font-weight: 600; }
)css";

}  // namespace

std::string_view pageHTML() { return kHTML; }
std::string_view pageScript() { return kScript; }
std::string pageStyle() {
  std::string style(previewStyle());
  style += kPageStyle;
  return style;
}

}  // namespace quarn::tool
