<html>
<head><title>Wind turbine</title><meta http-equiv="refresh" content="60"></head>
<body>
<h1>Wind turbine at <TT></h1>
<table>
<tr><td>Battery</td><td><VV> V</td></tr>
<tr><td>Charge current</td><td><II> A</td></tr>
<tr><td>Power</td><td><WW> W</td></tr>
<tr><td>Energy today</td><td><WH> Wh</td></tr>
<tr><td>Rotor</td><td><RR> RPM</td></tr>
<tr><td>Wind</td><td><SS></td></tr>
<tr><td>Load</td><td><MM></td></tr>
</table>
</body>
</html>
