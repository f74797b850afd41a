// The browser build's GIF files, coded by omggif (clip/web: shipped inside the
// page, ahead of this). A clip's bytes stay here, in JavaScript, until it is
// complete: the page's WebAssembly memory is too small to hold a 10 s clip
// beside the game. Only then do they go to emscripten's file system, whole.
//
// Each function returns 0, a file system errno, or -1 with the encoder's
// words in `why`.
mergeInto(LibraryManager.library, {
    $nuvaloGif__deps: ['$FS'],
    $nuvaloGif: {
        files: {},
        next: 1,
        // Two bytes a pixel hold any image: LZW codes are 12 bits at most,
        // one a pixel at worst, with a clear code every few thousand and a
        // length byte every 255.
        room: function (file, pixels) {
            var need = file.writer.getOutputBufferPosition() + 2 * pixels + 64;
            var buffer = file.writer.getOutputBuffer();
            if (need > buffer.length) {
                var grown = new Uint8Array(Math.max(need, 2 * buffer.length));
                grown.set(buffer.subarray(0, file.writer.getOutputBufferPosition()));
                file.writer.setOutputBuffer(grown);
            }
        },
        failed: function (error, why, whySize) {
            if (error instanceof FS.ErrnoError) {
                return error.errno;
            }
            stringToUTF8(String(error && error.message || error), why, whySize);
            return -1;
        },
    },

    nuvalo_gif_open__deps: ['$nuvaloGif', '$FS'],
    nuvalo_gif_open: function (handle, path, width, height, colours, count, why, whySize) {
        try {
            var name = UTF8ToString(path);
            // Created now, as a native file would be, so that a name that
            // cannot be written fails before a clip's frames are coded.
            FS.writeFile(name, new Uint8Array(0));
            // omggif's tables come in powers of two, of two colours at least.
            var size = 2;
            while (size < count) {
                size *= 2;
            }
            var palette = new Array(size).fill(0);
            for (var i = 0; i < count; ++i) {
                palette[i] = HEAPU32[(colours >> 2) + i] & 0xffffff;
            }
            var writer = new nuvaloOmggif.GifWriter(new Uint8Array(1 << 20), width, height,
                                                    {palette: palette, loop: 0});
            var id = nuvaloGif.next++;
            nuvaloGif.files[id] = {name: name, writer: writer};
            HEAP32[handle >> 2] = id;
            return 0;
        } catch (error) {
            return nuvaloGif.failed(error, why, whySize);
        }
    },

    nuvalo_gif_add__deps: ['$nuvaloGif'],
    nuvalo_gif_add: function (id, left, top, width, height, indexes, delay, why, whySize) {
        try {
            var file = nuvaloGif.files[id];
            nuvaloGif.room(file, width * height);
            // Disposal 1: the next image is drawn over this one.
            file.writer.addFrame(left, top, width, height,
                                 HEAPU8.subarray(indexes, indexes + width * height),
                                 {delay: delay, disposal: 1});
            return 0;
        } catch (error) {
            return nuvaloGif.failed(error, why, whySize);
        }
    },

    // Writes the file when `complete`, forgets it either way.
    nuvalo_gif_close__deps: ['$nuvaloGif', '$FS'],
    nuvalo_gif_close: function (id, complete, why, whySize) {
        var file = nuvaloGif.files[id];
        delete nuvaloGif.files[id];
        try {
            if (complete) {
                var length = file.writer.end();
                FS.writeFile(file.name, file.writer.getOutputBuffer().subarray(0, length));
            }
            return 0;
        } catch (error) {
            return nuvaloGif.failed(error, why, whySize);
        }
    },
});
