// Loads the page's WebAssembly module (circthresh.js from web/build.sh) in node
// with the page's own calls on it (web/core_calls.js).
'use strict';
const { circthreshCalls } = require('../../web/core_calls.js');

async function loadCircthresh(moduleFile) {
  return circthreshCalls(await require(moduleFile)());
}

module.exports = { loadCircthresh };
