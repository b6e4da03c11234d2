// Runs a program page: the URL parameters become the program's options
// (?headless=1&frames=N&step=MS&tickStart=MS&script=FILE&trace=1; the script is
// fetched relative to the page), what the program says on stderr is shown under
// the canvas, and with trace=1 each frame's trace line is appended to
// <pre id="trace">. The program sets the title to "done" when its run ends.
var Module = (function () {
  var params = new URLSearchParams(location.search);
  var status = document.getElementById("status");
  var traceView = document.getElementById("trace");
  var args = [];
  if (params.get("headless") === "1") args.push("--headless");
  [["frames", "--frames"], ["step", "--step"], ["tickStart", "--tick-start"]].forEach(function (p) {
    if (params.has(p[0])) args.push(p[1], params.get(p[0]));
  });
  function say(text) {
    status.textContent += text + "\n";
  }
  return {
    arguments: args,
    canvas: document.getElementById("canvas"),
    print: function (text) { console.log(text); },
    printErr: function (text) { console.warn(text); say(text); },
    runEnded: function (exitStatus) {
      if (exitStatus !== 0) say("The program ended with status " + exitStatus + ".");
      else if (!params.has("headless")) say("The program has ended; reload the page to start it again.");
    },
    preRun: [function () {
      if (params.get("trace") === "1") {
        // The trace file is a device whose lines land in the page.
        var line = [];
        FS.createDevice("/", "trace", null, function (byte) {
          if (byte !== 10) { line.push(byte); return; }
          traceView.appendChild(document.createTextNode(String.fromCharCode.apply(null, line) + "\n"));
          line = [];
        });
        args.push("--trace", "/trace");
      }
      var script = params.get("script");
      if (script) {
        // An unreadable script is the program's to report: it then finds no file.
        args.push("--script", "/script.txt");
        addRunDependency("script");
        fetch(script).then(function (response) {
          if (!response.ok) throw new Error("HTTP " + response.status);
          return response.text();
        }).then(function (text) {
          FS.writeFile("/script.txt", text);
        }).catch(function (error) {
          say("cannot fetch the script '" + script + "': " + error.message);
        }).finally(function () {
          removeRunDependency("script");
        });
      }
    }],
  };
})();
