// Hands the sound it hears to the page as it comes: each block of 128 frames, its channels
// interleaved (one or two), as a Float32Array posted to the page.
class CaptureTap extends AudioWorkletProcessor {
  process(inputs) {
    const channels = inputs[0];
    if (channels && channels.length > 0) {
      const count = Math.min(channels.length, 2);
      const frames = channels[0].length;
      const block = new Float32Array(frames * count);
      for (let i = 0; i < frames; ++i)
        for (let c = 0; c < count; ++c) block[i * count + c] = channels[c][i];
      this.port.postMessage({ block, channels: count }, [block.buffer]);
    }
    return true;
  }
}

registerProcessor('capture-tap', CaptureTap);
