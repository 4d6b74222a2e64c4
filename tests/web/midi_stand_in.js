// Stands in for navigator.requestMIDIAccess: one input, "Stand-in keyboard", that plays
// window.__midiConfig.melody ([[ms after the first listener, bytes...], ...]) once the page
// listens to it.
(() => {
  const config = window.__midiConfig || { melody: [] };
  const input = new EventTarget();
  Object.assign(input, { id: 'stand-in-1', name: 'Stand-in keyboard', manufacturer: 'Tavrel tests', type: 'input',
    state: 'connected', connection: 'open' });
  let listener = null;
  let started = false;
  function Play() {
    if (started) return;
    started = true;
    for (const [ms, ...bytes] of config.melody) {
      setTimeout(() => {
        const event = new Event('midimessage');
        Object.defineProperty(event, 'data', { value: new Uint8Array(bytes) });
        if (listener) listener(event);
        input.dispatchEvent(event);
      }, ms);
    }
  }
  Object.defineProperty(input, 'onmidimessage', {
    get: () => listener,
    set: (f) => { listener = f; if (f) Play(); },
  });
  const access = { inputs: new Map([[input.id, input]]), outputs: new Map(), onstatechange: null, sysexEnabled: false };
  Object.defineProperty(Navigator.prototype, 'requestMIDIAccess', {
    value: async () => access, configurable: true,
  });
})();
