// Stands in for navigator.hid before the page's own code runs: the virtual controller's own
// protocol code (compiled to WebAssembly, served at /test/virtual-joycon.js) behind WebHID's
// interface, so that the page meets the same strict controllers as the native programs. Its
// behaviour comes from window.__vjConfig (set by a script injected before this one): the
// TAVREL_VJ_* variables, which controllers the user grants (grant: 'all' or 'none'), and whether
// the browser remembers them from before (remembered). The logs are read back with
// window.__vj.log(k); window.__vj.unplug(k) disconnects one.
(() => {
  const config = window.__vjConfig || {};
  const VendorId = 0x057e;
  const Names = { 0x2007: 'Joy-Con (R)', 0x2006: 'Joy-Con (L)', 0x2009: 'Pro Controller' };
  const LogPath = '/vj.log';
  const hid = new EventTarget();
  let vj = null;
  let devices = [];

  function WithBytes(bytes, use) {
    const at = vj._malloc(bytes.length);
    vj.HEAPU8.set(bytes, at);
    try { return use(at); } finally { vj._free(at); }
  }

  // A report descriptor's outline as WebHID gives it: over USB the output reports are 63 bytes
  // after the ID and the USB command report 0x80 is there; over Bluetooth 48 bytes and no 0x80.
  function Collections(usb) {
    const report = (reportId, bytes) => ({ reportId, items: [{ reportSize: 8, reportCount: bytes }] });
    const size = usb ? 63 : 48;
    const outputReports = [report(0x01, size), report(0x10, size)];
    if (usb) outputReports.push(report(0x80, size));
    return [{ usagePage: 0x01, usage: 0x05, outputReports,
      inputReports: [report(0x21, size), report(0x30, size), report(0x3f, 11)], featureReports: [] }];
  }

  function Deliver(device) {
    if (!device.opened) return;
    const k = device.index;
    for (let n = vj._VjRead(k); n > 0; n = vj._VjRead(k)) {
      const at = vj._VjReportBytes();
      const bytes = vj.HEAPU8.slice(at, at + n);
      const event = new Event('inputreport');
      Object.defineProperties(event, {
        device: { value: device }, reportId: { value: bytes[0] }, data: { value: new DataView(bytes.buffer, 1) },
      });
      device.dispatchEvent(event);
      if (device.oninputreport) device.oninputreport(event);
    }
    // What comes unasked (streamed reports, delayed replies) is looked for when it is due.
    clearTimeout(device.timer);
    const due = vj._VjNextDueMs();
    if (due >= 0) device.timer = setTimeout(() => Deliver(device), Math.max(0, due - performance.now()));
  }

  function Disconnect(device) {
    if (!devices.includes(device)) return;
    devices = devices.filter((d) => d !== device);
    clearTimeout(device.timer);
    vj._VjClose(device.index);
    device.opened = false;
    const event = new Event('disconnect');
    Object.defineProperty(event, 'device', { value: device });
    hid.dispatchEvent(event);
    if (hid.ondisconnect) hid.ondisconnect(event);
  }

  function MakeDevice(k, usb) {
    const device = new EventTarget();
    const productId = vj._VjProductId(k);
    Object.assign(device, {
      index: k, vendorId: VendorId, productId, productName: Names[productId], opened: false,
      collections: Collections(usb), timer: null, oninputreport: null,
    });
    device.open = async () => {
      if (!devices.includes(device)) throw new DOMException('The device was disconnected.', 'NotFoundError');
      if (!device.opened) {
        vj._VjOpen(k);
        device.opened = true;
        Deliver(device);
      }
    };
    device.close = async () => {
      vj._VjClose(k);
      device.opened = false;
      clearTimeout(device.timer);
    };
    device.forget = device.close;
    device.sendReport = async (reportId, data) => {
      if (!device.opened) throw new DOMException('The device must be opened first.', 'InvalidStateError');
      const view = data instanceof ArrayBuffer ? new Uint8Array(data)
        : new Uint8Array(data.buffer, data.byteOffset, data.byteLength);
      const report = new Uint8Array(1 + view.length);
      report[0] = reportId;
      report.set(view, 1);
      const written = WithBytes(report, (at) => vj._VjWrite(k, at, report.length));
      if (written < 0) {
        setTimeout(() => Disconnect(device), 0);
        throw new DOMException('Failed to write the report.', 'NotAllowedError');
      }
      Deliver(device);
    };
    return device;
  }

  const ready = import('/test/virtual-joycon.js').then((m) => m.default()).then((module) => {
    vj = module;
    const variables = Object.assign({ TAVREL_VJ_LOG: LogPath }, config.variables || {});
    for (const [name, value] of Object.entries(variables))
      WithBytes(new TextEncoder().encode(name + '\0'), (n) =>
        WithBytes(new TextEncoder().encode(String(value) + '\0'), (v) => vj._VjSetVariable(n, v)));
    const count = vj._VjStart();
    const usb = vj._VjUsb() === 1;
    for (let k = 0; k < count; ++k) devices.push(MakeDevice(k, usb));
  });

  const granted = [];
  hid.getDevices = async () => {
    await ready;
    return config.remembered ? devices.slice() : granted.filter((d) => devices.includes(d));
  };
  hid.requestDevice = async ({ filters } = {}) => {
    await ready;
    if (config.grant === 'refuse') throw new DOMException('Access to the device was refused.', 'NotAllowedError');
    if (config.grant === 'none') return [];
    const chosen = devices.filter((d) => (filters || []).some((f) =>
      (f.vendorId === undefined || f.vendorId === d.vendorId) && (f.productId === undefined || f.productId === d.productId)));
    chosen.forEach((d) => { if (!granted.includes(d)) granted.push(d); });
    return chosen;
  };
  hid.onconnect = null;
  hid.ondisconnect = null;
  Object.defineProperty(Navigator.prototype, 'hid', { get: () => hid, configurable: true });

  const logName = (k) => (k === 0 ? LogPath : `${LogPath}.${k + 1}`);
  window.__vj = {
    ready: () => ready.then(() => true),
    log: (k) => {
      try { return vj.FS.readFile(logName(k), { encoding: 'utf8' }); } catch (e) { return ''; }
    },
    unplug: (k) => Disconnect(devices.find((d) => d.index === k)),
  };
})();
