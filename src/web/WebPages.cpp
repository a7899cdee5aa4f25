#include "WebPages.h"

namespace {

QByteArray head(const char *title)
{
    return QByteArray(R"(<!DOCTYPE html>
<html lang="en">
<head>
<meta charset="utf-8">
<meta name="viewport" content="width=device-width, initial-scale=1">
<title>)") +
           title +
           R"(</title>
<link rel="stylesheet" href="/style.css">
</head>
)";
}

} // namespace

QByteArray WebPages::login(const QString &message)
{
    QByteArray html = head("Tessaly: log in") + R"(<body class="login">
<main>
<h1>Tessaly</h1>
)";
    if (!message.isEmpty())
        html += R"(<p id="message" class="message">)" + message.toHtmlEscaped().toUtf8() + "</p>\n";
    html += R"(<form method="post" action="/login">
<label for="password">Password</label>
<input id="password" name="password" type="password" autocomplete="current-password" required autofocus>
<button id="login" type="submit">Log in</button>
</form>
</main>
</body>
</html>
)";
    return html;
}

QByteArray WebPages::grid()
{
    return head("Tessaly") + R"(<body data-page="grid">
<header>
<h1>Tessaly</h1>
<span id="status" class="status"></span>
<form method="post" action="/logout"><button id="logout" type="submit">Log out</button></form>
</header>
<main id="grid" class="grid"></main>
<p id="empty" class="empty" hidden>No camera is open.</p>
<script src="/app.js"></script>
</body>
</html>
)";
}

QByteArray WebPages::camera()
{
    return head("Tessaly: camera") + R"(<body data-page="camera">
<header>
<a href="/" id="back">&larr; All cameras</a>
<h1 id="name"></h1>
<form method="post" action="/logout"><button id="logout" type="submit">Log out</button></form>
</header>
<main class="camera">
<p id="missing" class="empty" hidden>This camera is not open.</p>
<div id="frame" class="frame"><img id="picture" alt=""><span id="nopicture" class="nopicture" hidden>No picture</span><span id="changemark" class="changemark" hidden>Change</span></div>
<dl>
<dt>Picture of</dt><dd id="time">&ndash;</dd>
<dt>Refresh</dt><dd id="refresh">&ndash;</dd>
<dt>Health</dt><dd id="health">&ndash;</dd>
<dt>Change</dt><dd id="change">&ndash;</dd>
</dl>
<button id="reload" type="button">Refresh now</button>
<section id="saved" class="saved">
<h2 id="saved-title">Saved today</h2>
<form id="around-form" class="around">
<label for="around">Around</label>
<input id="around" type="datetime-local" step="1" required>
<button id="show-around" type="submit">Show</button>
<button id="show-today" type="button">Today</button>
</form>
<figure id="chosen" class="chosen" hidden><img id="chosen-picture" alt=""><figcaption><span id="chosen-time"></span> <button id="chosen-close" type="button">Close</button></figcaption></figure>
<p id="strip-empty" class="empty" hidden>No saved pictures.</p>
<div id="strip" class="strip"></div>
</section>
</main>
<script src="/app.js"></script>
</body>
</html>
)";
}

QByteArray WebPages::styleSheet()
{
    return R"(*{box-sizing:border-box}
body{margin:0;font:15px/1.4 system-ui,sans-serif;background:#111;color:#eee}
header{display:flex;align-items:center;gap:.75em;padding:.5em .75em;background:#222;position:sticky;top:0}
header h1{font-size:1.1em;margin:0;flex:1;overflow:hidden;text-overflow:ellipsis;white-space:nowrap}
header form{margin:0}
a{color:#8cf}
button{font:inherit;padding:.4em .9em;border-radius:6px;border:1px solid #555;background:#333;color:#eee}
.status{font-size:.85em;color:#aaa}
.grid{display:grid;grid-template-columns:repeat(2,1fr);gap:4px;padding:4px}
@media (min-width:700px){.grid{grid-template-columns:repeat(3,1fr)}}
@media (min-width:1000px){.grid{grid-template-columns:repeat(4,1fr)}}
@media (min-width:1500px){.grid{grid-template-columns:repeat(6,1fr)}}
.tile{display:block;position:relative;background:#000;color:inherit;text-decoration:none;aspect-ratio:4/3;overflow:hidden;border-radius:4px}
.tile img{width:100%;height:100%;object-fit:contain;display:block}
.tile .name{position:absolute;left:0;right:0;bottom:0;padding:.2em .4em;background:rgba(0,0,0,.6);font-size:.85em;white-space:nowrap;overflow:hidden;text-overflow:ellipsis}
.tile.stale .name{background:rgba(150,90,0,.8)}
.tile .mark{position:absolute;top:.3em;right:.3em;width:.8em;height:.8em;border-radius:50%;background:rgb(255,170,0);display:none}
.tile.changed{box-shadow:inset 0 0 0 3px rgb(255,170,0)}
.tile.changed .mark{display:block}
.nopicture{position:absolute;inset:0;display:flex;align-items:center;justify-content:center;color:#888}
.nopicture[hidden],.empty[hidden]{display:none}
.empty{padding:1em;color:#aaa}
.camera{padding:.5em}
.frame{position:relative;background:#000;min-height:8em}
.frame img{display:block;max-width:100%;height:auto;margin:0 auto}
.frame.changed{outline:3px solid rgb(255,170,0);outline-offset:-3px}
.changemark{position:absolute;top:.4em;right:.4em;padding:.1em .5em;border-radius:4px;background:rgb(255,170,0);color:#000;font-weight:600}
.changemark[hidden],.chosen[hidden]{display:none}
.saved h2{font-size:1em;margin:1em 0 .4em}
.around{display:flex;flex-wrap:wrap;align-items:center;gap:.4em;margin-bottom:.5em}
.around input{font:inherit;padding:.3em;border-radius:6px;border:1px solid #555;background:#222;color:#eee}
.strip{display:flex;gap:4px;overflow-x:auto;padding-bottom:4px}
.strip button{flex:0 0 auto;padding:0;border:2px solid transparent;background:#000;border-radius:4px;width:120px}
.strip button.chosen-one{border-color:#8cf}
.strip img{display:block;width:100%;aspect-ratio:4/3;object-fit:contain}
.strip span{display:block;font-size:.75em;color:#aaa;padding:.1em .2em}
.chosen{margin:0 0 .5em}
.chosen img{display:block;max-width:100%;height:auto;margin:0 auto}
.chosen figcaption{display:flex;align-items:center;gap:.6em;padding:.3em 0}
dl{display:grid;grid-template-columns:auto 1fr;gap:.2em .8em}
dt{color:#aaa}
dd{margin:0}
.login main{max-width:22em;margin:15vh auto;padding:1em}
.login form{display:flex;flex-direction:column;gap:.6em}
.login input{font:inherit;padding:.5em;border-radius:6px;border:1px solid #555;background:#222;color:#eee}
.message{color:#f88}
)";
}

QByteArray WebPages::script()
{
    // About once a second: one small JSON, and a picture only when its
    // address changed. A hidden tab asks nothing.
    return R"JS('use strict';
(function () {
  const page = document.body.dataset.page;
  const shown = new Map();
  function stateText(camera) {
    if (camera.state === 'none') return 'No picture';
    return new Date(camera.time).toLocaleTimeString();
  }
  function tileFor(camera) {
    let tile = document.getElementById('camera-' + camera.id);
    if (tile) return tile;
    tile = document.createElement('a');
    tile.className = 'tile';
    tile.id = 'camera-' + camera.id;
    tile.href = '/camera/' + camera.id;
    const img = document.createElement('img');
    img.alt = '';
    const none = document.createElement('span');
    none.className = 'nopicture';
    none.textContent = 'No picture';
    const mark = document.createElement('span');
    mark.className = 'mark';
    mark.title = 'Changed';
    const name = document.createElement('span');
    name.className = 'name';
    tile.append(img, none, mark, name);
    document.getElementById('grid').append(tile);
    return tile;
  }
  function showGrid(cameras) {
    const ids = new Set(cameras.map(c => 'camera-' + c.id));
    for (const tile of Array.from(document.querySelectorAll('.tile')))
      if (!ids.has(tile.id)) tile.remove();
    document.getElementById('empty').hidden = cameras.length > 0;
    for (const camera of cameras) {
      const tile = tileFor(camera);
      tile.querySelector('.name').textContent = camera.name + ' \u00b7 ' + stateText(camera);
      tile.classList.toggle('stale', camera.state === 'stale');
      tile.classList.toggle('changed', camera.changed === true);
      tile.querySelector('.nopicture').hidden = camera.state !== 'none';
      const img = tile.querySelector('img');
      if (camera.grid && shown.get(camera.id) !== camera.grid) {
        shown.set(camera.id, camera.grid);
        img.src = camera.grid;
      }
      img.hidden = !camera.grid;
    }
  }
  function showCamera(cameras, force) {
    const id = Number(location.pathname.split('/')[2]);
    const camera = cameras.find(c => c.id === id);
    document.getElementById('missing').hidden = !!camera;
    if (!camera) return;
    document.getElementById('name').textContent = camera.name;
    document.title = 'Tessaly: ' + camera.name;
    document.getElementById('time').textContent =
      camera.time ? new Date(camera.time).toLocaleString() : 'No picture';
    document.getElementById('refresh').textContent =
      camera.refresh ? 'every ' + camera.refresh + ' s' : '\u2013';
    document.getElementById('health').textContent = camera.health || '\u2013';
    document.getElementById('nopicture').hidden = camera.state !== 'none';
    const changing = camera.changed === true;
    document.getElementById('frame').classList.toggle('changed', changing);
    document.getElementById('changemark').hidden = !changing;
    document.getElementById('change').textContent =
      camera.changed === null || camera.changed === undefined ? 'not watched'
        : changing ? 'going on' : 'none';
    const img = document.getElementById('picture');
    if (camera.picture && (force || shown.get(camera.id) !== camera.picture)) {
      shown.set(camera.id, camera.picture);
      img.src = camera.picture + (force ? '&r=' + Date.now() : '');
    }
  }
  // Saved pictures from the index: today's newest first, or those around a
  // chosen moment. Without an index the list is empty.
  const cameraId = page === 'camera' ? Number(location.pathname.split('/')[2]) : 0;
  let stripAround = null;
  let stripShown = '';
  let stripLoaded = 0;
  async function loadStrip() {
    stripLoaded = Date.now();
    let address = '/api/camera/' + cameraId + '/pictures';
    if (stripAround !== null) address += '?around=' + stripAround;
    let pictures = [];
    try {
      const answer = await fetch(address, {credentials: 'same-origin', cache: 'no-store'});
      if (answer.ok) pictures = await answer.json();
    } catch (e) { return; }
    const key = pictures.map(p => p.picture).join(' ');
    if (key === stripShown) return;
    stripShown = key;
    const strip = document.getElementById('strip');
    strip.replaceChildren();
    document.getElementById('strip-empty').hidden = pictures.length > 0;
    for (const picture of pictures) {
      const button = document.createElement('button');
      button.type = 'button';
      button.className = 'shot';
      const img = document.createElement('img');
      img.alt = '';
      img.loading = 'lazy';
      img.src = picture.small;
      img.addEventListener('error', () => {
        if (img.src.endsWith('.small.jpg')) img.src = picture.picture;
      }, {once: true});
      const label = document.createElement('span');
      label.textContent = new Date(picture.time).toLocaleTimeString();
      button.append(img, label);
      button.addEventListener('click', () => choose(picture, button));
      strip.append(button);
    }
  }
  function choose(picture, button) {
    for (const b of Array.from(document.querySelectorAll('.strip .chosen-one')))
      b.classList.remove('chosen-one');
    button.classList.add('chosen-one');
    document.getElementById('chosen-picture').src = picture.picture;
    document.getElementById('chosen-time').textContent = new Date(picture.time).toLocaleString();
    document.getElementById('chosen').hidden = false;
  }
  function showToday() {
    stripAround = null;
    document.getElementById('saved-title').textContent = 'Saved today';
    loadStrip();
  }
  let timer = 0;
  async function poll(force) {
    clearTimeout(timer);
    try {
      const answer = await fetch('/api/cameras', {credentials: 'same-origin', cache: 'no-store'});
      if (answer.status === 401) { location.href = '/login'; return; }
      const cameras = await answer.json();
      if (page === 'grid') showGrid(cameras); else showCamera(cameras, force);
      const status = document.getElementById('status');
      if (status) status.textContent = '';
    } catch (e) {
      const status = document.getElementById('status');
      if (status) status.textContent = 'offline';
    }
    if (!document.hidden) timer = setTimeout(poll, 1000);
  }
  document.addEventListener('visibilitychange', () => { if (!document.hidden) poll(); });
  const reload = document.getElementById('reload');
  if (reload) reload.addEventListener('click', () => poll(true));
  if (page === 'camera') {
    document.getElementById('around-form').addEventListener('submit', event => {
      event.preventDefault();
      const moment = new Date(document.getElementById('around').value).getTime();
      if (!Number.isFinite(moment) || moment < 0) return;
      stripAround = moment;
      document.getElementById('saved-title').textContent =
        'Saved around ' + new Date(moment).toLocaleString();
      loadStrip();
    });
    document.getElementById('show-today').addEventListener('click', showToday);
    document.getElementById('chosen-close').addEventListener('click', () => {
      document.getElementById('chosen').hidden = true;
    });
    // Today's strip grows as pictures are saved: looked at again every 15 s.
    setInterval(() => {
      if (!document.hidden && stripAround === null && Date.now() - stripLoaded > 14000)
        loadStrip();
    }, 5000);
    showToday();
  }
  poll();
})();
)JS";
}
