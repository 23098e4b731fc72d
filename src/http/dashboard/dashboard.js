'use strict';
const events = new EventSource('api/events');
events.addEventListener('live', (e) => {
    const live = JSON.parse(e.data);
    document.getElementById('power1').textContent = live.power1 + ' W';
    document.getElementById('power2').textContent = live.power2 + ' W';
});
