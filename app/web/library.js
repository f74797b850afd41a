// The page's services to the game (app/web/main.cpp declares them). The state
// they share with the page's event wiring lives in NuvaloPage (page.js).
mergeInto(LibraryManager.library, {
  nuvalo_page_wake_after: function (milliseconds) {
    NuvaloPage.wakeAfter(milliseconds);
  },

  nuvalo_page_present: function (rgba) {
    NuvaloPage.present(rgba);
  },

  nuvalo_page_play_cue: function (path) {
    NuvaloPage.playCue(UTF8ToString(path));
  },

  nuvalo_page_game_ended: function () {
    NuvaloPage.gameEnded();
  },

  nuvalo_page_sleep: function () {
    NuvaloPage.sleep();
  },

  nuvalo_page_set_default_sound: function (bytes, length) {
    NuvaloPage.setDefaultSound(HEAPU8.slice(bytes, bytes + length).buffer);
  },

  nuvalo_page_store_length: function () {
    var text = NuvaloPage.storeRead();
    if (text === null) return -1;
    if (text === undefined) return -2;
    NuvaloPage.storeText = text;
    return text.length;
  },

  nuvalo_page_store_copy: function (into, length) {
    // save.dat holds bytes; storage holds them one character each.
    var text = NuvaloPage.storeText || '';
    for (var i = 0; i < length; i++) {
      var code = text.charCodeAt(i);
      HEAPU8[into + i] = code <= 0xff ? code : 0x3f;
    }
    NuvaloPage.storeText = null;
  },

  nuvalo_page_store_write: function (text, length) {
    var chars = '';
    for (var i = 0; i < length; i++) chars += String.fromCharCode(HEAPU8[text + i]);
    return NuvaloPage.storeWrite(chars) ? 1 : 0;
  },

  nuvalo_page_run_kept: function (best, text) {
    NuvaloPage.runKept(best !== 0, UTF8ToString(text));
  },

  nuvalo_page_menu: function (offers) {
    NuvaloPage.offer(offers);
  },

  nuvalo_page_watch: function (watching, position, length, playing, speed, atEnd, verified, verdict,
                              clipFrom, clipTo) {
    NuvaloPage.watchChanged(watching, position, length, playing, speed, atEnd, verified, verdict,
                            clipFrom, clipTo);
  },

  nuvalo_page_clip_wanted: function () {
    NuvaloPage.clipWanted();
  },

  // The clip's bytes leave the memory file system at once: a page that
  // makes many clips keeps none of them there.
  nuvalo_page_clip_made__deps: ['$FS'],
  nuvalo_page_clip_made: function (path) {
    var name = UTF8ToString(path);
    var bytes = FS.readFile(name);
    FS.unlink(name);
    NuvaloPage.clipMade(bytes);
  },
});
