// Reads the page again every 30 seconds; the page works without it.
setTimeout(function () { location.reload(); }, 30000);
