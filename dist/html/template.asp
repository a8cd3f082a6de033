<!DOCTYPE html>
<html lang="en">
<head>
<meta charset="utf-8">
<meta name="viewport" content="width=device-width, initial-scale=1">
<meta http-equiv="refresh" content="<LD>">
<title>Wind turbine <VV> V <WW> W</title>
<style>
body { margin: 0; font-family: system-ui, Arial, sans-serif; background: #0b2a0b; color: #e8ffe8; }
main { max-width: 46rem; margin: 0 auto; padding: 1rem; }
h1 { font-size: 1.3rem; margin: 0 0 .2rem; }
.when { margin: 0 0 1rem; color: #9fd49f; }
.grid { display: grid; grid-template-columns: repeat(auto-fit, minmax(9.5rem, 1fr)); gap: .6rem; }
.tile { background: #124312; border-radius: .6rem; padding: .6rem .8rem; }
.label { font-size: .85rem; color: #9fd49f; }
.value { font-size: 1.5rem; font-weight: bold; }
.unit { display: inline-block; font-size: 1rem; font-weight: normal; margin-left: .2rem; }
.load span:empty::before { content: "Off"; }
/* Without live data the values of the interval are no reading of the unit:
   they give way to a dash, and the line above says since when. */
.nodata-note, .paused-note { display: none; margin: 0 0 1rem; padding: .5rem .8rem; border-radius: .6rem;
  background: #5a1a00; color: #ffe0c0; font-weight: bold; }
body.stale .nodata-note, body.paused .paused-note { display: block; }
body.stale .unit-now .value > *, body.paused .unit-now .value > * { display: none; }
body.stale .unit-now .value::before, body.paused .unit-now .value::before { content: "\2013"; }
footer { margin-top: 1rem; font-size: .8rem; color: #9fd49f; }
</style>
</head>
<body class="<DS>">
<main>
<h1>Wind turbine</h1>
<p class="when">Data of <DD> at <TT></p>
<p class="nodata-note">No data since <DL></p>
<p class="paused-note">Paused: the setup or calibration window holds the port. Last data at <DL></p>
<div class="grid">
<div class="tile unit-now"><div class="label">Battery</div><div class="value"><span class="n" data-decimals="1"><VV></span><span class="unit">V</span></div></div>
<div class="tile unit-now"><div class="label">Charge current</div><div class="value"><span class="n" data-decimals="1"><II></span><span class="unit">A</span></div></div>
<div class="tile unit-now"><div class="label">Power</div><div class="value"><span class="n" data-decimals="0"><WW></span><span class="unit">W</span></div></div>
<div class="tile unit-now"><div class="label">Rotor</div><div class="value"><span class="n" data-decimals="0"><RR></span><span class="unit">RPM</span></div></div>
<div class="tile unit-now"><div class="label">Wind</div><div class="value"><span class="n" data-decimals="1"><SS></span><span class="unit"><SU></span></div></div>
<div class="tile unit-now"><div class="label">Load</div><div class="value load"><span><MM></span></div></div>
<div class="tile"><div class="label">Energy today</div><div class="value"><span class="n" data-decimals="1"><WH></span><span class="unit">Wh</span></div></div>
<div class="tile"><div class="label">Yesterday</div><div class="value"><span class="n" data-decimals="1"><WY></span><span class="unit">Wh</span></div></div>
<div class="tile"><div class="label">Lifetime</div><div class="value"><span class="n" data-decimals="2"><WT></span><span class="unit">kWh</span></div></div>
</div>
<footer>The highest values of the last logging interval. This page renews itself every <LD> seconds.</footer>
</main>
<script>
// Rounds the values shown; numbers may be written with "," or "." and keep
// the separator they came with. Without scripts the page shows them as written.
document.querySelectorAll(".n").forEach(function (e) {
  var text = e.textContent.trim(), comma = text.indexOf(",") >= 0;
  var v = parseFloat(text.replace(",", "."));
  if (isNaN(v)) return;
  var out = v.toFixed(parseInt(e.getAttribute("data-decimals"), 10));
  e.textContent = comma ? out.replace(".", ",") : out;
});
</script>
</body>
</html>
