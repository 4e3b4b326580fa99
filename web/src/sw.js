// The lab's service worker: keeps every file of the lab at the first
// visit, so that afterwards the lab loads and runs with no network (a
// classroom with poor Wi-Fi). The build writes in the file list and the
// cache's name.
const FILES = 'FILES';
const CACHE = 'VERSION';

self.addEventListener('install', (event) => {
  event.waitUntil(caches.open(CACHE).then((cache) => cache.addAll(FILES)).then(() => self.skipWaiting()));
});

self.addEventListener('activate', (event) => {
  event.waitUntil(caches.keys()
    .then((names) => Promise.all(names.filter((n) => n.startsWith('duolocus-lab-') && n !== CACHE).map((n) => caches.delete(n))))
    .then(() => self.clients.claim()));
});

// The lab's own files from the cache (a page address with settings in it
// is the page itself), everything else from the network.
self.addEventListener('fetch', (event) => {
  const request = event.request;
  if (request.method !== 'GET' || new URL(request.url).origin !== self.location.origin) return;
  event.respondWith(caches.open(CACHE).then(async (cache) => {
    const hit = await cache.match(request, { ignoreSearch: true });
    return hit || fetch(request);
  }));
});
