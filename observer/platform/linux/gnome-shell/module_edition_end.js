
export default class QuorvelWindowsExtension extends Extension {
    enable() {
        this._reporter = new WindowReporter();
        this._reporter.start();
    }

    disable() {
        this._reporter.stop();
        this._reporter = null;
    }
}
