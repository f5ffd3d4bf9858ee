/* The bookmark link of the navigation bar. Browsers no longer let a page
   add a bookmark, so the visitor is told the key to press. */
function addToFavorites(url, title) {
  var key = navigator.platform.indexOf("Mac") >= 0 ? "Cmd+D" : "Ctrl+D";
  window.alert("Press " + key + " to bookmark \"" + title + "\".");
  return false;
}
