
class QuandrelExtension {
    constructor(folder) {
        this._folder = folder;
        this._service = null;
    }

    enable() {
        this._service = new QuandrelService(this._folder);
        this._service.enable();
    }

    disable() {
        this._service?.disable();
        this._service = null;
    }
}

function init() {
    return new QuandrelExtension(ExtensionUtils.getCurrentExtension().path);
}
