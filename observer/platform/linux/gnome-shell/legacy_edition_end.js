
let reporter = null;

function init() {
}

function enable() {
    reporter = new WindowReporter();
    reporter.start();
}

function disable() {
    reporter.stop();
    reporter = null;
}
